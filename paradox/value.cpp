#include "paradox/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "paradox/error.h"

namespace pq::paradox {

namespace {
[[noreturn]] void WrongKind(Value::Kind have, const char* want) {
    throw Error(std::string("internal error: a ") + KindName(have) + " value read as " + want);
}
}  // namespace

Value Value::Bool(bool b) {
    Value v;
    v.kind_ = Kind::kBool;
    v.v_ = b;
    return v;
}
Value Value::Integer(int64_t i) {
    Value v;
    v.kind_ = Kind::kInteger;
    v.v_ = i;
    return v;
}
Value Value::Double(double d) {
    Value v;
    v.kind_ = Kind::kDouble;
    v.v_ = d;
    return v;
}
Value Value::Text(std::string s) {
    Value v;
    v.kind_ = Kind::kText;
    v.v_ = std::move(s);
    return v;
}
Value Value::Bytes(std::vector<uint8_t> b) {
    Value v;
    v.kind_ = Kind::kBytes;
    v.v_ = std::move(b);
    return v;
}
Value Value::Date(int32_t day) {
    Value v;
    v.kind_ = Kind::kDate;
    v.v_ = int64_t{day};
    return v;
}
Value Value::Time(int32_t ms) {
    Value v;
    v.kind_ = Kind::kTime;
    v.v_ = int64_t{ms};
    return v;
}
Value Value::Timestamp(double ms) {
    Value v;
    v.kind_ = Kind::kTimestamp;
    v.v_ = ms;
    return v;
}
Value Value::Bcd(std::string decimal) {
    Value v;
    v.kind_ = Kind::kBcd;
    v.v_ = std::move(decimal);
    return v;
}

bool Value::AsBool() const {
    if (kind_ != Kind::kBool) WrongKind(kind_, "logical");
    return std::get<bool>(v_);
}
int64_t Value::AsInteger() const {
    if (kind_ != Kind::kInteger) WrongKind(kind_, "integer");
    return std::get<int64_t>(v_);
}
double Value::AsDouble() const {
    if (kind_ != Kind::kDouble) WrongKind(kind_, "double");
    return std::get<double>(v_);
}
const std::string& Value::AsText() const {
    if (kind_ != Kind::kText && kind_ != Kind::kBcd) WrongKind(kind_, "text");
    return std::get<std::string>(v_);
}
std::string Value::TakeText() && {
    if (kind_ != Kind::kText && kind_ != Kind::kBcd) WrongKind(kind_, "text");
    return std::move(std::get<std::string>(v_));
}
const std::vector<uint8_t>& Value::AsBytes() const {
    if (kind_ != Kind::kBytes) WrongKind(kind_, "bytes");
    return std::get<std::vector<uint8_t>>(v_);
}
std::vector<uint8_t> Value::TakeBytes() && {
    if (kind_ != Kind::kBytes) WrongKind(kind_, "bytes");
    return std::move(std::get<std::vector<uint8_t>>(v_));
}
int32_t Value::AsDate() const {
    if (kind_ != Kind::kDate) WrongKind(kind_, "date");
    return static_cast<int32_t>(std::get<int64_t>(v_));
}
int32_t Value::AsTime() const {
    if (kind_ != Kind::kTime) WrongKind(kind_, "time");
    return static_cast<int32_t>(std::get<int64_t>(v_));
}
double Value::AsTimestamp() const {
    if (kind_ != Kind::kTimestamp) WrongKind(kind_, "timestamp");
    return std::get<double>(v_);
}

bool operator==(const Value& a, const Value& b) {
    return a.kind_ == b.kind_ && a.v_ == b.v_;
}

const char* KindName(Value::Kind kind) {
    switch (kind) {
        case Value::Kind::kNull:
            return "null";
        case Value::Kind::kBool:
            return "logical";
        case Value::Kind::kInteger:
            return "integer";
        case Value::Kind::kDouble:
            return "double";
        case Value::Kind::kText:
            return "text";
        case Value::Kind::kBytes:
            return "bytes";
        case Value::Kind::kDate:
            return "date";
        case Value::Kind::kTime:
            return "time";
        case Value::Kind::kTimestamp:
            return "timestamp";
        case Value::Kind::kBcd:
            return "BCD";
    }
    return "?";
}

std::string Value::DebugString() const {
    char buf[64];
    switch (kind_) {
        case Kind::kNull:
            return "null";
        case Kind::kBool:
            return AsBool() ? "bool:true" : "bool:false";
        case Kind::kInteger:
            return "int:" + std::to_string(AsInteger());
        case Kind::kDouble:
            std::snprintf(buf, sizeof buf, "double:%.17g", AsDouble());
            return buf;
        case Kind::kText:
            return "text:" + AsText();
        case Kind::kBytes:
            return "bytes[" + std::to_string(AsBytes().size()) + "]";
        case Kind::kDate:
            return "date:" + std::to_string(AsDate());
        case Kind::kTime:
            return "time:" + std::to_string(AsTime());
        case Kind::kTimestamp:
            std::snprintf(buf, sizeof buf, "timestamp:%.17g", AsTimestamp());
            return buf;
        case Kind::kBcd:
            return "bcd:" + AsText();
    }
    return "?";
}

// Civil date <-> day count after H. Hinnant's public-domain algorithms, shifted so that
// 0001-01-01 is day 1 (1970-01-01 is day 719163).
namespace {
constexpr int64_t kUnixEpochDay = 719163;
}

int32_t DayFromCivil(int y, int m, int d) {
    int64_t yy = y - (m <= 2 ? 1 : 0);
    const int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    const int64_t yoe = yy - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const int64_t unixDays = era * 146097 + doe - 719468;
    return static_cast<int32_t>(unixDays + kUnixEpochDay);
}

void CivilFromDay(int32_t dayNumber, int* year, int* month, int* day) {
    const int64_t z = static_cast<int64_t>(dayNumber) - kUnixEpochDay + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = yoe + era * 400;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int>(y + (m <= 2 ? 1 : 0));
    *month = static_cast<int>(m);
    *day = static_cast<int>(d);
}

bool IsValidCivil(int y, int m, int d) {
    if (m < 1 || m > 12 || d < 1) return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int max = kDays[m - 1];
    if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) max = 29;
    return d <= max;
}

}  // namespace pq::paradox

namespace pq::paradox {

namespace {

bool ParseDigits(std::string_view s, size_t pos, size_t n, int* out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    *out = v;
    return true;
}

// "HH:MM:SS" with optional ".m", ".mm" or ".mmm" at s[pos...], to the end of s.
std::optional<int32_t> ParseTimeAt(std::string_view s, size_t pos) {
    int h, m, sec, ms = 0;
    if (!ParseDigits(s, pos, 2, &h) || s.size() < pos + 8 || s[pos + 2] != ':' ||
        !ParseDigits(s, pos + 3, 2, &m) || s[pos + 5] != ':' || !ParseDigits(s, pos + 6, 2, &sec))
        return std::nullopt;
    size_t end = pos + 8;
    if (end < s.size()) {
        if (s[end] != '.' || s.size() - end - 1 < 1 || s.size() - end - 1 > 3) return std::nullopt;
        const size_t n = s.size() - end - 1;
        if (!ParseDigits(s, end + 1, n, &ms)) return std::nullopt;
        for (size_t i = n; i < 3; ++i) ms *= 10;
        end = s.size();
    }
    if (h > 23 || m > 59 || sec > 59) return std::nullopt;
    return ((h * 60 + m) * 60 + sec) * 1000 + ms;
}

std::optional<int32_t> ParseDatePrefix(std::string_view s) {
    int y, m, d;
    if (s.size() < 10 || !ParseDigits(s, 0, 4, &y) || s[4] != '-' || !ParseDigits(s, 5, 2, &m) ||
        s[7] != '-' || !ParseDigits(s, 8, 2, &d) || y < 1 || !IsValidCivil(y, m, d))
        return std::nullopt;
    return DayFromCivil(y, m, d);
}

}  // namespace

std::string FormatDate(int32_t dayNumber) {
    int y, m, d;
    CivilFromDay(dayNumber, &y, &m, &d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

std::string FormatTime(int32_t ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return buf;
}

std::string FormatTimestamp(double ms) {
    const int64_t total = static_cast<int64_t>(std::llround(ms));
    const int64_t day = total / kMillisecondsPerDay;
    const int64_t inDay = total % kMillisecondsPerDay;
    return FormatDate(static_cast<int32_t>(day)) + " " + FormatTime(static_cast<int32_t>(inDay));
}

std::optional<int32_t> ParseDate(std::string_view s) {
    if (s.size() != 10) return std::nullopt;
    return ParseDatePrefix(s);
}

std::optional<int32_t> ParseTime(std::string_view s) {
    return ParseTimeAt(s, 0);
}

std::optional<double> ParseTimestamp(std::string_view s) {
    auto day = ParseDatePrefix(s);
    if (!day || s.size() < 11 || (s[10] != ' ' && s[10] != 'T')) return std::nullopt;
    auto ms = ParseTimeAt(s, 11);
    if (!ms) return std::nullopt;
    return static_cast<double>(*day) * kMillisecondsPerDay + *ms;
}

std::string FormatDouble(double value) {
    char buf[512];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    if (res.ec != std::errc()) {
        std::snprintf(buf, sizeof buf, "%.17g", value);
        return buf;
    }
    std::string s(buf, res.ptr);
    if (s == "-0") s = "0";
    return s;
}

}  // namespace pq::paradox
