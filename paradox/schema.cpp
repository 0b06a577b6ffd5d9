#include "paradox/schema.h"

#include <set>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/format.h"

namespace pq::paradox {

namespace {

struct TypeInfo {
    FieldType type;
    char letter;
    const char* name;
    uint16_t fixedSize;
};

constexpr TypeInfo kTypes[] = {
    {FieldType::kAlpha, 'A', "alpha", 0},
    {FieldType::kDate, 'D', "date", 4},
    {FieldType::kShort, 'S', "short", 2},
    {FieldType::kLong, 'I', "long", 4},
    {FieldType::kCurrency, '$', "currency", 8},
    {FieldType::kNumber, 'N', "number", 8},
    {FieldType::kLogical, 'L', "logical", 1},
    {FieldType::kMemo, 'M', "memo", 0},
    {FieldType::kBinary, 'B', "binary", 0},
    {FieldType::kFmtMemo, 'F', "formatted memo", 0},
    {FieldType::kOle, 'O', "OLE", 0},
    {FieldType::kGraphic, 'G', "graphic", 0},
    {FieldType::kTime, 'T', "time", 4},
    {FieldType::kTimestamp, '@', "timestamp", 8},
    {FieldType::kAutoInc, '+', "autoincrement", 4},
    {FieldType::kBcd, '#', "BCD", 0},
    {FieldType::kBytes, 'Y', "bytes", 0},
};

const TypeInfo* Info(FieldType type) {
    for (const auto& t : kTypes)
        if (t.type == type) return &t;
    return nullptr;
}

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

}  // namespace

bool IsKnownFieldType(uint8_t code) {
    for (const auto& t : kTypes)
        if (static_cast<uint8_t>(t.type) == code) return true;
    return false;
}

bool IsBlobType(FieldType type) {
    switch (type) {
        case FieldType::kMemo:
        case FieldType::kBinary:
        case FieldType::kFmtMemo:
        case FieldType::kOle:
        case FieldType::kGraphic:
            return true;
        default:
            return false;
    }
}

char TypeLetter(FieldType type) {
    const TypeInfo* info = Info(type);
    return info ? info->letter : '?';
}

std::optional<FieldType> TypeFromLetter(char letter) {
    for (const auto& t : kTypes)
        if (t.letter == letter || (letter >= 'a' && letter <= 'z' && t.letter == letter - 32))
            return t.type;
    return std::nullopt;
}

const char* TypeName(FieldType type) {
    const TypeInfo* info = Info(type);
    return info ? info->name : "unknown";
}

uint16_t FixedFieldSize(FieldType type) {
    const TypeInfo* info = Info(type);
    return info ? info->fixedSize : 0;
}

size_t Field::RecordBytes() const {
    return type == FieldType::kBcd ? 17 : size;
}

size_t Field::LeaderBytes() const {
    return size >= format::kBlobDescriptorSize ? size - format::kBlobDescriptorSize : 0;
}

size_t Schema::RecordSize() const {
    size_t n = 0;
    for (const auto& f : fields) n += f.RecordBytes();
    return n;
}

size_t Schema::KeySize() const {
    size_t n = 0;
    for (int i = 0; i < keyFieldCount && i < static_cast<int>(fields.size()); ++i)
        n += fields[i].RecordBytes();
    return n;
}

int Schema::Find(std::string_view name) const {
    for (size_t i = 0; i < fields.size(); ++i)
        if (SameName(fields[i].name, name)) return static_cast<int>(i);
    return -1;
}

std::optional<uint8_t> VersionForLevel(int level) {
    switch (level) {
        case 4:
            return format::kVersion4;
        case 5:
            return format::kVersion5;
        case 7:
            return format::kVersion7;
        default:
            return std::nullopt;
    }
}

std::string LevelName(uint8_t v) {
    if (v == 3) return "3.0";
    if (v == 4) return "3.5";
    if (v >= 5 && v <= 9) return "4";
    if (v == 0x0A || v == 0x0B) return "5";
    if (v == 0x0C) return "7";
    return "unknown (" + std::to_string(v) + ")";
}

void ValidateSchemaForCreate(const Schema& s) {
    auto fail = [](const std::string& what) { throw Error("Invalid table structure: " + what); };
    if (s.fileVersion != format::kVersion4 && s.fileVersion != format::kVersion5 &&
        s.fileVersion != format::kVersion7)
        fail("level must be 4, 5 or 7");
    const uint32_t kib = s.blockSize / 1024;
    if (s.blockSize % 1024 != 0 ||
        !(kib == 1 || kib == 2 || kib == 3 || kib == 4 || kib == 8 || kib == 16 || kib == 32))
        fail("block size must be 1, 2, 3, 4, 8, 16 or 32 KiB");
    if (s.fileVersion == format::kVersion4 && kib > 4) fail("level 4 blocks are at most 4 KiB");
    if (s.sortOrder != 0) fail("new tables take the ascii sort order (0)");
    if (!text::IsSupportedCodePage(s.codePage))
        fail("code page " + std::to_string(s.codePage) + " is not supported");
    if (s.fields.empty() || s.fields.size() > 255) fail("a table has 1 to 255 fields");
    if (s.keyFieldCount < 0 || s.keyFieldCount > static_cast<int>(s.fields.size()))
        fail("key field count out of range");
    std::set<std::string> seen;
    for (size_t i = 0; i < s.fields.size(); ++i) {
        const Field& f = s.fields[i];
        const std::string where = "field " + std::to_string(i + 1) + " '" + f.name + "'";
        if (f.name.empty()) fail("field " + std::to_string(i + 1) + " has no name");
        if (text::CodePointCount(f.name) > 25) fail(where + ": name longer than 25 characters");
        bool lossless = true;
        const std::string encoded = text::FromUtf8(f.name, s.codePage, &lossless);
        if (!lossless || encoded.find('\0') != std::string::npos)
            fail(where + ": name not representable in code page " + std::to_string(s.codePage));
        std::string lower;
        for (char c : f.name) lower += AsciiLower(c);
        if (!seen.insert(lower).second) fail(where + ": duplicate name");
        if (!Info(f.type)) fail(where + ": unknown type");
        const uint16_t fixed = FixedFieldSize(f.type);
        switch (f.type) {
            case FieldType::kAlpha:
            case FieldType::kBytes:
                if (f.size < 1 || f.size > 255) fail(where + ": size must be 1 to 255");
                break;
            case FieldType::kBcd:
                if (f.size > 32) fail(where + ": a BCD field has at most 32 decimals");
                break;
            case FieldType::kMemo:
            case FieldType::kFmtMemo:
                if (f.size < 11 || f.size > 250)
                    fail(where + ": a memo takes 11 to 250 record bytes (leader + 10)");
                break;
            case FieldType::kBinary:
            case FieldType::kOle:
            case FieldType::kGraphic:
                if (f.size < 10 || f.size > 250)
                    fail(where + ": a blob takes 10 to 250 record bytes (leader + 10)");
                break;
            default:
                if (f.size != fixed) fail(where + ": size must be " + std::to_string(fixed));
        }
        // Level 4 knows the first types only; long, time, timestamp, logical, auto-increment,
        // BCD and bytes came with level 5.
        const bool level4Type = f.type == FieldType::kAlpha || f.type == FieldType::kNumber ||
                                f.type == FieldType::kCurrency || f.type == FieldType::kDate ||
                                f.type == FieldType::kShort || IsBlobType(f.type);
        if (s.fileVersion == format::kVersion4 && !level4Type)
            fail(where + ": a " + TypeName(f.type) + " field needs level 5 or 7");
        if (static_cast<int>(i) < s.keyFieldCount &&
            (IsBlobType(f.type) || f.type == FieldType::kBytes))
            fail(where + ": a " + TypeName(f.type) + " field cannot be part of the key");
    }
    if (s.RecordSize() > s.blockSize - format::kBlockHeader)
        fail("a record of " + std::to_string(s.RecordSize()) + " bytes does not fit a block");
}

}  // namespace pq::paradox
