#include "tools/pdxtool/schema_text.h"

#include <charconv>

#include "base/exception.h"

namespace pq::pdxtool {

using paradox::FieldType;

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool ParseNumber(std::string_view s, long* out) {
    s = Trim(s);
    auto res = std::from_chars(s.data(), s.data() + s.size(), *out);
    return res.ec == std::errc() && res.ptr == s.data() + s.size() && !s.empty();
}

bool HasSize(FieldType t) {
    switch (t) {
        case FieldType::kAlpha:
        case FieldType::kBytes:
        case FieldType::kBcd:
        case FieldType::kMemo:
        case FieldType::kFmtMemo:
        case FieldType::kBinary:
        case FieldType::kOle:
        case FieldType::kGraphic:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::string TypeText(const paradox::Field& f) {
    std::string s(1, paradox::TypeLetter(f.type));
    if (HasSize(f.type)) s += std::to_string(f.size);
    return s;
}

SchemaText ParseSchemaText(std::string_view text, const std::string& where) {
    SchemaText out;
    out.schema.fileVersion = 0x0C;
    size_t lineNo = 0;
    while (!text.empty()) {
        const size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        ++lineNo;
        auto fail = [&](const std::string& what) -> void {
            throw Exception(where + ":" + std::to_string(lineNo) + ": " + what);
        };
        line = Trim(line);
        if (line.empty() || line.front() == '#') continue;
        const size_t sp = line.find_first_of(" \t");
        const std::string_view word = line.substr(0, sp);
        const std::string_view rest = sp == std::string_view::npos ? "" : Trim(line.substr(sp));
        long n = 0;
        if (word == "level") {
            if (!ParseNumber(rest, &n) || !paradox::VersionForLevel(static_cast<int>(n)))
                fail("level must be 4, 5 or 7");
            out.schema.fileVersion = *paradox::VersionForLevel(static_cast<int>(n));
        } else if (word == "block") {
            if (!ParseNumber(rest, &n) || n <= 0) fail("block takes a size in bytes");
            out.schema.blockSize = static_cast<uint32_t>(n);
        } else if (word == "index-block") {
            if (!ParseNumber(rest, &n) || n <= 0) fail("index-block takes a size in bytes");
            out.options.indexBlockSize = static_cast<uint32_t>(n);
        } else if (word == "codepage") {
            if (!ParseNumber(rest, &n)) fail("codepage takes a number");
            out.schema.codePage = static_cast<int>(n);
        } else if (word == "key") {
            if (!ParseNumber(rest, &n) || n < 0) fail("key takes the number of key fields");
            out.schema.keyFieldCount = static_cast<int>(n);
        } else if (word == "password") {
            if (rest.empty()) fail("password takes the password");
            out.options.password = std::string(rest);
        } else if (word == "field") {
            const size_t sp2 = rest.find_first_of(" \t");
            if (sp2 == std::string_view::npos) fail("field takes a type and a name");
            const std::string_view type = rest.substr(0, sp2);
            const std::string_view name = Trim(rest.substr(sp2));
            auto t = paradox::TypeFromLetter(type[0]);
            if (!t) fail("unknown field type '" + std::string(type) + "'");
            paradox::Field f;
            f.type = *t;
            f.name = std::string(name);
            if (HasSize(*t)) {
                if (!ParseNumber(type.substr(1), &n) || n < 0 || n > 255)
                    fail("field type " + std::string(type) + " needs a size");
                f.size = static_cast<uint16_t>(n);
            } else {
                if (type.size() != 1) fail("field type " + std::string(type) + " takes no size");
                f.size = paradox::FixedFieldSize(*t);
            }
            out.schema.fields.push_back(f);
        } else if (word == "index") {
            IndexText index;
            std::string_view list = rest;
            const size_t named = rest.find(" name ");
            if (named != std::string_view::npos) {
                list = Trim(rest.substr(0, named));
                index.name = std::string(Trim(rest.substr(named + 6)));
                if (index.name.empty()) fail("index ... name takes a name");
            }
            while (!list.empty()) {
                const size_t comma = list.find(',');
                const std::string_view field = Trim(list.substr(0, comma));
                if (field.empty()) fail("index takes field names separated by commas");
                index.fields.emplace_back(field);
                list = comma == std::string_view::npos ? "" : list.substr(comma + 1);
                if (comma != std::string_view::npos && Trim(list).empty())
                    fail("index takes field names separated by commas");
            }
            if (index.fields.empty()) fail("index takes one or more field names");
            out.indexes.push_back(std::move(index));
        } else if (word == "valid") {
            out.valid.emplace_back(lineNo, std::string(rest));
        } else {
            fail("unknown setting '" + std::string(word) + "'");
        }
    }
    return out;
}

}  // namespace pq::pdxtool
