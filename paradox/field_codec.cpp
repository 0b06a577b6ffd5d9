#include "paradox/field_codec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "base/text.h"
#include "paradox/error.h"
#include "paradox/format.h"

namespace pq::paradox {

namespace {

constexpr int kBcdDigits = 32;
constexpr int32_t kMaxDay = 3652059;  // 9999-12-31

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

[[noreturn]] void Invalid(const Field& f, const std::string& why) {
    throw ValueError(f.name, why);
}

// Text in the table's code page, or ValueError.
std::string ToCodePage(const Field& f, const std::string& utf8, int codePage) {
    bool lossless = true;
    std::string bytes = text::FromUtf8(utf8, codePage, &lossless);
    if (!lossless)
        Invalid(f, "text has characters that code page " + std::to_string(codePage) + " lacks");
    return bytes;
}

std::optional<int64_t> ParseInteger(std::string_view s) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    int64_t v = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size() || s.empty()) return std::nullopt;
    return v;
}

std::optional<double> ParseDouble(std::string_view s) {
    s = Trim(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    double v = 0;
    auto res = std::from_chars(s.data(), s.data() + s.size(), v);
    if (res.ec != std::errc() || res.ptr != s.data() + s.size() || s.empty() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::string ValueAsText(const Field& f, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::kText:
        case Value::Kind::kBcd:
            return v.AsText();
        case Value::Kind::kInteger:
            return std::to_string(v.AsInteger());
        case Value::Kind::kDouble:
            return FormatDouble(v.AsDouble());
        case Value::Kind::kBool:
            return v.AsBool() ? "True" : "False";
        case Value::Kind::kDate:
            return FormatDate(v.AsDate());
        case Value::Kind::kTime:
            return FormatTime(v.AsTime());
        case Value::Kind::kTimestamp:
            return FormatTimestamp(v.AsTimestamp());
        default:
            Invalid(f, std::string("a ") + KindName(v.kind()) + " value cannot become text");
    }
}

int64_t ValueAsInteger(const Field& f, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::kInteger:
            return v.AsInteger();
        case Value::Kind::kBool:
            return v.AsBool() ? 1 : 0;
        case Value::Kind::kDouble: {
            const double d = v.AsDouble();
            if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 9.2e18)
                Invalid(f, "not a whole number");
            return static_cast<int64_t>(d);
        }
        case Value::Kind::kText:
        case Value::Kind::kBcd: {
            if (auto i = ParseInteger(v.AsText())) return *i;
            if (auto d = ParseDouble(v.AsText());
                d && *d == std::trunc(*d) && std::fabs(*d) < 9.2e18)
                return static_cast<int64_t>(*d);
            Invalid(f, "'" + v.AsText() + "' is not a whole number");
        }
        default:
            Invalid(f, std::string("a ") + KindName(v.kind()) + " value is not a number");
    }
}

double ValueAsDouble(const Field& f, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::kDouble:
            if (!std::isfinite(v.AsDouble())) Invalid(f, "not a finite number");
            return v.AsDouble();
        case Value::Kind::kInteger:
            return static_cast<double>(v.AsInteger());
        case Value::Kind::kText:
        case Value::Kind::kBcd:
            if (auto d = ParseDouble(v.AsText())) return *d;
            Invalid(f, "'" + v.AsText() + "' is not a number");
        default:
            Invalid(f, std::string("a ") + KindName(v.kind()) + " value is not a number");
    }
}

// The 32 BCD digits of a normalized decimal text (digits right-aligned, decimals fixed).
void PackBcd(const std::string& normalized, int decimals, MutableBytes out) {
    const bool negative = !normalized.empty() && normalized[0] == '-';
    std::string digits;
    for (char c : normalized)
        if (c >= '0' && c <= '9') digits += c;
    // With 32 decimals the text carries a leading "0." beyond the 32 digits the field holds.
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    if (digits.size() > static_cast<size_t>(kBcdDigits))
        throw Error("internal error: more than 32 BCD digits");
    std::memset(out.data(), 0, out.size());
    out[0] = static_cast<uint8_t>((negative ? 0 : 0x80) | 0x40 | decimals);
    const size_t pad = kBcdDigits - digits.size();
    for (size_t i = 0; i < digits.size(); ++i) {
        const size_t nibble = pad + i;
        const uint8_t d = static_cast<uint8_t>(digits[i] - '0');
        out[1 + nibble / 2] |= (nibble % 2) ? d : static_cast<uint8_t>(d << 4);
    }
    if (negative)
        for (size_t i = 1; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
}

// Formats the digit string of an integer N (scaled by 10^decimals) as decimal text.
std::string FormatScaled(std::string digits, int decimals, bool negative) {
    size_t first = digits.find_first_not_of('0');
    digits = first == std::string::npos ? "" : digits.substr(first);
    const bool zero = digits.empty();
    while (digits.size() < static_cast<size_t>(decimals) + 1) digits.insert(0, "0");
    if (decimals > 0) digits.insert(digits.size() - decimals, ".");
    return (negative && !zero ? "-" : "") + digits;
}

Value DecodeBcd(int decimals, Bytes b) {
    if (b[0] == 0) return Value();
    const bool negative = (b[0] & 0x80) == 0;
    std::string digits;
    bool stop = false;
    for (int n = 0; n < kBcdDigits; ++n) {
        uint8_t byte = b[1 + n / 2];
        if (negative) byte = static_cast<uint8_t>(~byte);
        const uint8_t nibble = (n % 2) ? (byte & 0x0F) : (byte >> 4);
        if (nibble > 9) stop = true;
        digits += stop ? '0' : static_cast<char>('0' + nibble);
    }
    return Value::Bcd(FormatScaled(digits, decimals, negative));
}

void CheckRange(const Field& f, int64_t v, int64_t lo, int64_t hi) {
    if (v < lo || v > hi)
        Invalid(
            f, std::to_string(v) + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
}

int32_t ValueAsDate(const Field& f, const Value& v) {
    int64_t day;
    switch (v.kind()) {
        case Value::Kind::kDate:
            day = v.AsDate();
            break;
        case Value::Kind::kTimestamp:
            day = static_cast<int64_t>(std::floor(v.AsTimestamp() / kMillisecondsPerDay));
            break;
        case Value::Kind::kText: {
            auto d = ParseDate(Trim(v.AsText()));
            if (!d) {
                auto ts = ParseTimestamp(Trim(v.AsText()));
                if (!ts) Invalid(f, "'" + v.AsText() + "' is not a date (YYYY-MM-DD)");
                d = static_cast<int32_t>(*ts / kMillisecondsPerDay);
            }
            day = *d;
            break;
        }
        default:
            Invalid(f, std::string("a ") + KindName(v.kind()) + " value is not a date");
    }
    CheckRange(f, day, 1, kMaxDay);
    return static_cast<int32_t>(day);
}

int32_t ValueAsTime(const Field& f, const Value& v) {
    int64_t ms;
    switch (v.kind()) {
        case Value::Kind::kTime:
            ms = v.AsTime();
            break;
        case Value::Kind::kTimestamp:
            ms =
                static_cast<int64_t>(std::fmod(std::llround(v.AsTimestamp()), kMillisecondsPerDay));
            break;
        case Value::Kind::kText: {
            auto t = ParseTime(Trim(v.AsText()));
            if (!t) Invalid(f, "'" + v.AsText() + "' is not a time (HH:MM:SS.mmm)");
            ms = *t;
            break;
        }
        default:
            Invalid(f, std::string("a ") + KindName(v.kind()) + " value is not a time");
    }
    CheckRange(f, ms, 0, kMillisecondsPerDay - 1);
    return static_cast<int32_t>(ms);
}

double ValueAsTimestamp(const Field& f, const Value& v) {
    double ms;
    switch (v.kind()) {
        case Value::Kind::kTimestamp:
            ms = v.AsTimestamp();
            break;
        case Value::Kind::kDate:
            ms = static_cast<double>(v.AsDate()) * kMillisecondsPerDay;
            break;
        case Value::Kind::kText: {
            auto t = ParseTimestamp(Trim(v.AsText()));
            if (!t) {
                auto d = ParseDate(Trim(v.AsText()));
                if (!d) Invalid(f, "'" + v.AsText() + "' is not a timestamp");
                t = static_cast<double>(*d) * kMillisecondsPerDay;
            }
            ms = *t;
            break;
        }
        default:
            Invalid(f, std::string("a ") + KindName(v.kind()) + " value is not a timestamp");
    }
    if (!std::isfinite(ms) || ms < kMillisecondsPerDay ||
        ms >= static_cast<double>(kMaxDay + 1) * kMillisecondsPerDay)
        Invalid(f, "timestamp out of range");
    return ms;
}

bool ValueAsBool(const Field& f, const Value& v) {
    switch (v.kind()) {
        case Value::Kind::kBool:
            return v.AsBool();
        case Value::Kind::kInteger:
            return v.AsInteger() != 0;
        case Value::Kind::kText: {
            std::string s(Trim(v.AsText()));
            for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (s == "true" || s == "t" || s == "1" || s == "yes") return true;
            if (s == "false" || s == "f" || s == "0" || s == "no") return false;
            Invalid(f, "'" + v.AsText() + "' is not true or false");
        }
        default:
            Invalid(f, std::string("a ") + KindName(v.kind()) + " value is not logical");
    }
}

}  // namespace

std::optional<std::string> NormalizeBcd(std::string_view text, int decimals) {
    std::string_view s = Trim(text);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::string digits;
    int exponent = 0;
    bool seenPoint = false, any = false;
    size_t i = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            digits += c;
            any = true;
            if (seenPoint) --exponent;
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!any) return std::nullopt;
    if (i < s.size()) {
        if (s[i] != 'e' && s[i] != 'E') return std::nullopt;
        auto e = ParseInteger(s.substr(i + 1));
        if (!e || *e > 1000 || *e < -1000) return std::nullopt;
        exponent += static_cast<int>(*e);
    }
    // value = digits * 10^exponent; scaled = value * 10^decimals, rounded.
    const int shift = exponent + decimals;
    if (shift >= 0) {
        digits.append(static_cast<size_t>(shift), '0');
    } else {
        const size_t drop = static_cast<size_t>(-shift);
        bool roundUp = false;
        if (drop >= digits.size()) {
            roundUp = drop == digits.size() && digits[0] >= '5';
            digits = "0";
        } else {
            roundUp = digits[digits.size() - drop] >= '5';
            digits.resize(digits.size() - drop);
        }
        if (roundUp) {
            int k = static_cast<int>(digits.size()) - 1;
            while (k >= 0 && digits[k] == '9') digits[k--] = '0';
            if (k < 0)
                digits.insert(0, "1");
            else
                ++digits[k];
        }
    }
    const size_t first = digits.find_first_not_of('0');
    const size_t significant = first == std::string::npos ? 0 : digits.size() - first;
    if (significant > static_cast<size_t>(kBcdDigits)) return std::nullopt;
    return FormatScaled(digits, decimals, negative);
}

Value DecodeField(const Field& f, Bytes b, int codePage) {
    bool isNull = false;
    switch (f.type) {
        case FieldType::kAlpha: {
            size_t n = 0;
            while (n < b.size() && b[n] != 0) ++n;
            if (n == 0) return Value();
            return Value::Text(text::ToUtf8(
                std::string_view(reinterpret_cast<const char*>(b.data()), n), codePage));
        }
        case FieldType::kShort:
        case FieldType::kLong:
        case FieldType::kAutoInc: {
            const int64_t v = DecodeFieldInt(b, &isNull);
            return isNull ? Value() : Value::Integer(v);
        }
        case FieldType::kDate: {
            const int64_t v = DecodeFieldInt(b, &isNull);
            return isNull ? Value() : Value::Date(static_cast<int32_t>(v));
        }
        case FieldType::kTime: {
            const int64_t v = DecodeFieldInt(b, &isNull);
            return isNull ? Value() : Value::Time(static_cast<int32_t>(v));
        }
        case FieldType::kLogical: {
            const int64_t v = DecodeFieldInt(b, &isNull);
            return isNull ? Value() : Value::Bool(v != 0);
        }
        case FieldType::kNumber:
        case FieldType::kCurrency: {
            const double d = DecodeFieldDouble(b, &isNull);
            return isNull ? Value() : Value::Double(d);
        }
        case FieldType::kTimestamp: {
            const double d = DecodeFieldDouble(b, &isNull);
            return isNull ? Value() : Value::Timestamp(d);
        }
        case FieldType::kBcd:
            return DecodeBcd(f.size, b);
        case FieldType::kBytes:
            if (AllZero(b)) return Value();
            return Value::Bytes(std::vector<uint8_t>(b.begin(), b.end()));
        default:
            throw Error("internal error: DecodeField on a blob field");
    }
}

void EncodeField(const Field& f, const Value& v, MutableBytes out, int codePage) {
    std::memset(out.data(), 0, out.size());
    if (v.IsNull()) return;
    if (v.kind() == Value::Kind::kText && Trim(v.AsText()).empty() && f.type != FieldType::kAlpha)
        return;
    switch (f.type) {
        case FieldType::kAlpha: {
            const std::string bytes = ToCodePage(f, ValueAsText(f, v), codePage);
            if (bytes.size() > out.size())
                Invalid(f, "text of " + std::to_string(bytes.size()) + " bytes in a field of " +
                               std::to_string(out.size()));
            if (bytes.find('\0') != std::string::npos) Invalid(f, "text holds a NUL character");
            std::memcpy(out.data(), bytes.data(), bytes.size());
            return;
        }
        case FieldType::kShort: {
            const int64_t i = ValueAsInteger(f, v);
            CheckRange(f, i, -32767, 32767);
            EncodeFieldInt(i, out);
            return;
        }
        case FieldType::kLong:
        case FieldType::kAutoInc: {
            const int64_t i = ValueAsInteger(f, v);
            CheckRange(f, i, -2147483647LL, 2147483647LL);
            EncodeFieldInt(i, out);
            return;
        }
        case FieldType::kDate:
            EncodeFieldInt(ValueAsDate(f, v), out);
            return;
        case FieldType::kTime:
            EncodeFieldInt(ValueAsTime(f, v), out);
            return;
        case FieldType::kLogical:
            EncodeFieldInt(ValueAsBool(f, v) ? 1 : 0, out);
            return;
        case FieldType::kNumber:
        case FieldType::kCurrency:
            EncodeFieldDouble(ValueAsDouble(f, v), out);
            return;
        case FieldType::kTimestamp:
            EncodeFieldDouble(ValueAsTimestamp(f, v), out);
            return;
        case FieldType::kBcd: {
            std::string textValue;
            if (v.kind() == Value::Kind::kText || v.kind() == Value::Kind::kBcd)
                textValue = v.AsText();
            else if (v.kind() == Value::Kind::kInteger)
                textValue = std::to_string(v.AsInteger());
            else if (v.kind() == Value::Kind::kDouble && std::isfinite(v.AsDouble()))
                textValue = FormatDouble(v.AsDouble());
            else
                Invalid(f, std::string("a ") + KindName(v.kind()) + " value is not a number");
            auto normalized = NormalizeBcd(textValue, f.size);
            if (!normalized) Invalid(f, "'" + textValue + "' does not fit a BCD field");
            PackBcd(*normalized, f.size, out);
            return;
        }
        case FieldType::kBytes: {
            std::vector<uint8_t> bytes;
            if (v.kind() == Value::Kind::kBytes) {
                bytes = v.AsBytes();
            } else if (v.kind() == Value::Kind::kText) {
                const std::string s = ToCodePage(f, v.AsText(), codePage);
                bytes.assign(s.begin(), s.end());
            } else {
                Invalid(f, std::string("a ") + KindName(v.kind()) + " value is not bytes");
            }
            if (bytes.size() > out.size())
                Invalid(f, std::to_string(bytes.size()) + " bytes in a field of " +
                               std::to_string(out.size()));
            if (!bytes.empty()) std::memcpy(out.data(), bytes.data(), bytes.size());
            return;
        }
        default:
            throw Error("internal error: EncodeField on a blob field");
    }
}

BlobDescriptor DecodeBlobDescriptor(Bytes fieldBytes) {
    const size_t at = fieldBytes.size() - format::kBlobDescriptorSize;
    BlobDescriptor d;
    d.offsetAndIndex = GetU32(fieldBytes, at);
    d.length = GetU32(fieldBytes, at + 4);
    d.modNumber = GetU16(fieldBytes, at + 8);
    return d;
}

void EncodeBlobDescriptor(const BlobDescriptor& d, MutableBytes fieldBytes) {
    const size_t at = fieldBytes.size() - format::kBlobDescriptorSize;
    PutU32(fieldBytes, at, d.offsetAndIndex);
    PutU32(fieldBytes, at + 4, d.length);
    PutU16(fieldBytes, at + 8, d.modNumber);
}

Value BlobValue(const Field& f, std::vector<uint8_t> content, int codePage) {
    if (content.empty()) return Value();
    if (f.type == FieldType::kMemo)
        return Value::Text(text::ToUtf8(
            std::string_view(reinterpret_cast<const char*>(content.data()), content.size()),
            codePage));
    return Value::Bytes(std::move(content));
}

std::vector<uint8_t> BlobContent(const Field& f, const Value& v, int codePage) {
    switch (v.kind()) {
        case Value::Kind::kNull:
            return {};
        case Value::Kind::kBytes:
            return v.AsBytes();
        case Value::Kind::kText: {
            const std::string s = (f.type == FieldType::kMemo || f.type == FieldType::kFmtMemo)
                                      ? ToCodePage(f, v.AsText(), codePage)
                                      : v.AsText();
            const auto* p = reinterpret_cast<const uint8_t*>(s.data());
            return std::vector<uint8_t>(p, p + s.size());
        }
        default:
            Invalid(f, std::string("a ") + KindName(v.kind()) + " value cannot go in a blob");
    }
}

}  // namespace pq::paradox
