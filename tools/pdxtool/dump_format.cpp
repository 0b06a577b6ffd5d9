#include "tools/pdxtool/dump_format.h"

#include <cstdio>

#include "paradox/coding.h"

namespace pq::pdxtool {

using paradox::FieldType;
using paradox::Value;

std::string EscapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\\':
                out += "\\\\";
                break;
            default:
                out += c;
        }
    }
    return out;
}

bool UnescapeText(std::string_view text, std::string* out) {
    out->clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
            case 't':
                *out += '\t';
                break;
            case 'n':
                *out += '\n';
                break;
            case 'r':
                *out += '\r';
                break;
            case '\\':
                *out += '\\';
                break;
            case '@':
                *out += '@';
                break;
            default:
                return false;
        }
    }
    return true;
}

std::string FormatField(paradox::Table& table, size_t i) {
    const paradox::Field& f = table.schema().fields[i];
    if (paradox::IsBlobType(f.type) || f.type == FieldType::kBytes) {
        std::vector<uint8_t> content;
        if (f.type == FieldType::kBytes) {
            const Value v = table.Get(i);
            if (v.IsNull()) return "\\N";
            content = v.AsBytes();
        } else {
            content = table.GetBlob(i);
            if (content.empty()) return "\\N";
        }
        char buf[64];
        std::snprintf(buf, sizeof buf, "blob:%zu:%08x", content.size(), paradox::Crc32(content));
        return buf;
    }
    const Value v = table.Get(i);
    switch (v.kind()) {
        case Value::Kind::kNull:
            return "\\N";
        case Value::Kind::kText:
            return EscapeText(v.AsText());
        case Value::Kind::kBcd:
            return v.AsText();
        case Value::Kind::kInteger:
            return std::to_string(v.AsInteger());
        case Value::Kind::kDouble:
            return paradox::FormatDouble(v.AsDouble());
        case Value::Kind::kBool:
            return v.AsBool() ? "true" : "false";
        case Value::Kind::kDate:
            return paradox::FormatDate(v.AsDate());
        case Value::Kind::kTime:
            return paradox::FormatTime(v.AsTime());
        case Value::Kind::kTimestamp:
            return paradox::FormatTimestamp(v.AsTimestamp());
        case Value::Kind::kBytes:
            break;
    }
    return "?";
}

void DumpTable(paradox::Table& table, std::ostream& out) {
    const auto& fields = table.schema().fields;
    for (size_t i = 0; i < fields.size(); ++i) out << (i ? "\t" : "") << EscapeText(fields[i].name);
    out << '\n';
    for (table.First(); !table.AtEnd(); table.Next()) {
        for (size_t i = 0; i < fields.size(); ++i) out << (i ? "\t" : "") << FormatField(table, i);
        out << '\n';
    }
}

}  // namespace pq::pdxtool
