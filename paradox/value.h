// A field value as the engine hands it out and takes it in: null, logical, integer, double,
// text (UTF-8), bytes, date, time, timestamp, or a BCD number as decimal text. Values own their
// data and are copied freely.
//
// Dates count days with 1 January 0001 as day 1 (proleptic Gregorian calendar), times count
// milliseconds since midnight, timestamps count milliseconds with the same day numbering
// (day * 86400000 + milliseconds of the day), exactly as the table stores them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pq::paradox {

class Value {
  public:
    enum class Kind : uint8_t {
        kNull,
        kBool,
        kInteger,
        kDouble,
        kText,
        kBytes,
        kDate,
        kTime,
        kTimestamp,
        kBcd,
    };

    Value() = default;  // null
    static Value Bool(bool b);
    static Value Integer(int64_t i);
    static Value Double(double d);
    static Value Text(std::string utf8);
    static Value Bytes(std::vector<uint8_t> bytes);
    static Value Date(int32_t day);
    static Value Time(int32_t milliseconds);
    static Value Timestamp(double milliseconds);
    // REQUIRES: `decimal` is [-]digits[.digits] (not checked here; the codec checks on write).
    static Value Bcd(std::string decimal);

    Kind kind() const { return kind_; }
    bool IsNull() const { return kind_ == Kind::kNull; }

    // Each REQUIRES the matching kind (Error otherwise).
    bool AsBool() const;
    int64_t AsInteger() const;          // kInteger
    double AsDouble() const;            // kDouble
    const std::string& AsText() const;  // kText or kBcd
    // The text moved out of a kText or kBcd value, which is left holding none.
    std::string TakeText() &&;
    const std::vector<uint8_t>& AsBytes() const;
    // The bytes moved out of a kBytes value, which is left holding none.
    std::vector<uint8_t> TakeBytes() &&;
    int32_t AsDate() const;
    int32_t AsTime() const;
    double AsTimestamp() const;

    friend bool operator==(const Value& a, const Value& b);
    // For test messages: "null", "int:5", "text:abc", ...
    std::string DebugString() const;

  private:
    Kind kind_ = Kind::kNull;
    std::variant<std::monostate, bool, int64_t, double, std::string, std::vector<uint8_t>> v_;
};

const char* KindName(Value::Kind kind);

inline constexpr int64_t kMillisecondsPerDay = 86400000;

// Day numbers (1 January 0001 = 1) to and from a calendar date. DayFromCivil REQUIRES a valid
// month (1..12) and day; IsValidCivil tells.
int32_t DayFromCivil(int year, int month, int day);
void CivilFromDay(int32_t dayNumber, int* year, int* month, int* day);
bool IsValidCivil(int year, int month, int day);

// Text forms: dates "YYYY-MM-DD", times "HH:MM:SS.mmm", timestamps "YYYY-MM-DD HH:MM:SS.mmm"
// (milliseconds rounded). Parsing accepts the same forms, the milliseconds being optional and
// a 'T' allowed between date and time; nullopt for anything else or an impossible value.
std::string FormatDate(int32_t dayNumber);
std::string FormatTime(int32_t milliseconds);
std::string FormatTimestamp(double milliseconds);
std::optional<int32_t> ParseDate(std::string_view text);
std::optional<int32_t> ParseTime(std::string_view text);
std::optional<double> ParseTimestamp(std::string_view text);

// The shortest decimal text that reads back as the same double, in fixed notation, without a
// trailing ".0" ("12.5", "-3", "0.001").
std::string FormatDouble(double value);

}  // namespace pq::paradox
