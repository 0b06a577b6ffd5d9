#include "tabledb/value_convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "base/text.h"

namespace pq::tabledb {
namespace {

[[noreturn]] void Invalid(const FieldDefinition& f) {
    throw EDatabaseError("Invalid value for field '" + f.name + "'");
}

std::string FormatDouble(double d) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

bool ParseInteger(const std::string& s, int64_t& out) {
    const char* b = s.data();
    const char* e = b + s.size();
    while (b < e && *b == ' ') ++b;
    while (e > b && e[-1] == ' ') --e;
    if (b < e && *b == '+') ++b;
    auto r = std::from_chars(b, e, out);
    return r.ec == std::errc() && r.ptr == e && b != e;
}

bool ParseDouble(const std::string& s, double& out) {
    const char* b = s.data();
    const char* e = b + s.size();
    while (b < e && *b == ' ') ++b;
    while (e > b && e[-1] == ' ') --e;
    std::string t(b, e);
    for (char& c : t)
        if (c == ',') c = '.';
    auto r = std::from_chars(t.data(), t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size() && !t.empty() && std::isfinite(out);
}

constexpr double kMsPerDay = 86400000.0;

Value ToInteger(const FieldDefinition& f, const Value& v, int64_t lo, int64_t hi) {
    int64_t n = 0;
    if (auto* i = v.As<int64_t>()) {
        n = *i;
    } else if (auto* d = v.As<double>()) {
        if (!(*d == std::floor(*d)) || *d < -9.2e18 || *d > 9.2e18) Invalid(f);
        n = static_cast<int64_t>(*d);
    } else if (auto* b = v.As<bool>()) {
        n = *b ? 1 : 0;
    } else if (auto* s = v.As<std::string>()) {
        if (!ParseInteger(*s, n)) Invalid(f);
    } else {
        Invalid(f);
    }
    if (n < lo || n > hi) Invalid(f);
    return Value::Integer(n);
}

Value ToFloat(const FieldDefinition& f, const Value& v) {
    if (auto* d = v.As<double>()) return Value::Float(*d);
    if (auto* i = v.As<int64_t>()) return Value::Float(static_cast<double>(*i));
    if (auto* s = v.As<std::string>()) {
        double d = 0;
        if (!ParseDouble(*s, d)) Invalid(f);
        return Value::Float(d);
    }
    Invalid(f);
}

// BCD values travel as their decimal text, so no digit is lost between BCD fields.
Value ToBcd(const FieldDefinition& f, const Value& v) {
    if (auto* s = v.As<std::string>()) {
        double d = 0;
        if (!ParseDouble(*s, d)) Invalid(f);
        return Value::Text(*s);
    }
    if (auto* i = v.As<int64_t>()) return Value::Text(std::to_string(*i));
    if (auto* d = v.As<double>()) {
        if (!std::isfinite(*d)) Invalid(f);
        return Value::Text(FormatDouble(*d));
    }
    Invalid(f);
}

// ToText and ToBytes take the text or bytes over from `v`, which is theirs.
Value ToText(const FieldDefinition& f, Value& v, int codePage, bool limited) {
    std::string s;
    if (auto* t = v.AsMutable<std::string>()) {
        s = std::move(*t);
    } else if (auto* b = v.As<Bytes>()) {
        s = text::ToUtf8(b->data, codePage);
    } else if (v.As<int64_t>() || v.As<double>() || v.As<bool>()) {
        s = ValueAsText(v);
    } else {
        Invalid(f);
    }
    // Each character (or malformed byte) takes one byte in the code page.
    if (limited && text::CodePointCount(s) > static_cast<size_t>(f.size)) Invalid(f);
    if (s.empty()) return Value::Null();
    return Value::Text(std::move(s));
}

Value ToBytes(const FieldDefinition& f, Value& v, bool limited) {
    std::string data;
    if (auto* b = v.AsMutable<Bytes>()) {
        data = std::move(b->data);
    } else if (auto* t = v.AsMutable<std::string>()) {
        data = std::move(*t);
    } else {
        Invalid(f);
    }
    if (limited && data.size() > static_cast<size_t>(f.size)) Invalid(f);
    if (data.empty()) return Value::Null();
    return Value::Blob(std::move(data));
}

}  // namespace

Value ConvertForField(const FieldDefinition& f, Value v, int codePage) {
    if (v.IsNull()) return v;
    switch (f.type) {
        case ftString:
            return ToText(f, v, codePage, true);
        case ftMemo:
            return ToText(f, v, codePage, false);
        case ftSmallint:
            return ToInteger(f, v, -32767, 32767);
        case ftWord:
            return ToInteger(f, v, 0, 65535);
        case ftInteger:
        case ftAutoInc:
            return ToInteger(f, v, -2147483647, 2147483647);
        case ftFloat:
        case ftCurrency:
            return ToFloat(f, v);
        case ftBCD:
            return ToBcd(f, v);
        case ftBoolean:
            if (v.As<bool>()) return v;
            if (auto* i = v.As<int64_t>()) return Value::Boolean(*i != 0);
            if (auto* s = v.As<std::string>()) {
                if (*s == "True" || *s == "true" || *s == "T") return Value::Boolean(true);
                if (*s == "False" || *s == "false" || *s == "F") return Value::Boolean(false);
            }
            Invalid(f);
        case ftDate:
            if (v.As<Date>()) return v;
            if (auto* t = v.As<DateTime>())
                return Value::FromDate(
                    Date{static_cast<int32_t>(std::floor(t->milliseconds / kMsPerDay))});
            Invalid(f);
        case ftTime:
            if (v.As<Time>()) return v;
            if (auto* t = v.As<DateTime>())
                return Value::FromTime(
                    Time{static_cast<int32_t>(std::fmod(t->milliseconds, kMsPerDay))});
            Invalid(f);
        case ftDateTime:
            if (v.As<DateTime>()) return v;
            if (auto* d = v.As<Date>()) return Value::FromDateTime(DateTime{d->days * kMsPerDay});
            Invalid(f);
        case ftBytes:
        case ftVarBytes:
            return ToBytes(f, v, true);
        case ftBlob:
        case ftGraphic:
        case ftFmtMemo:
        case ftParadoxOle:
            return ToBytes(f, v, false);
        default:
            Invalid(f);
    }
}

std::string ValueAsText(const Value& v) {
    struct Visitor {
        std::string operator()(std::monostate) const { return {}; }
        std::string operator()(int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const { return FormatDouble(d); }
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const Bytes& b) const { return b.data; }
        std::string operator()(Date d) const { return std::to_string(d.days); }
        std::string operator()(Time t) const { return std::to_string(t.milliseconds); }
        std::string operator()(DateTime t) const { return FormatDouble(t.milliseconds); }
    };
    return std::visit(Visitor{}, v.Get());
}

int32_t ValueAsInteger(const Value& v, const std::string& fieldName) {
    if (v.IsNull()) return 0;
    FieldDefinition f{fieldName, ftInteger, 0, false};
    const Value n =
        ToInteger(f, v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(*n.As<int64_t>());
}

std::string Value::Describe() const {
    if (IsNull()) return "null";
    return ValueAsText(*this);
}

}  // namespace pq::tabledb
