// A field's value as it travels between tables: null, or one of a few kinds. Blob, memo and
// graphic values are their whole content as a byte string; text is UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace pq::tabledb {

struct Date {
    int32_t days = 0;  // 1 January of year 1 = day 1
    bool operator==(const Date&) const = default;
};
struct Time {
    int32_t milliseconds = 0;  // since midnight
    bool operator==(const Time&) const = default;
};
struct DateTime {
    double milliseconds = 0;  // since 1 January of year 1 counted as day 1
    bool operator==(const DateTime&) const = default;
};
struct Bytes {
    std::string data;
    bool operator==(const Bytes&) const = default;
};

class Value {
  public:
    using Storage = std::variant<std::monostate, int64_t, double, bool, std::string, Bytes, Date,
                                 Time, DateTime>;

    Value() = default;
    static Value Null() { return Value(); }
    static Value Integer(int64_t v) { return Value(Storage(v)); }
    static Value Float(double v) { return Value(Storage(v)); }
    static Value Boolean(bool v) { return Value(Storage(v)); }
    static Value Text(std::string v) { return Value(Storage(std::move(v))); }
    static Value Blob(std::string v) { return Value(Storage(Bytes{std::move(v)})); }
    static Value FromDate(Date d) { return Value(Storage(d)); }
    static Value FromTime(Time t) { return Value(Storage(t)); }
    static Value FromDateTime(DateTime t) { return Value(Storage(t)); }

    bool IsNull() const { return std::holds_alternative<std::monostate>(v_); }
    const Storage& Get() const { return v_; }
    template <class T>
    const T* As() const {
        return std::get_if<T>(&v_);
    }
    // For taking a text or bytes over without copying them.
    template <class T>
    T* AsMutable() {
        return std::get_if<T>(&v_);
    }
    bool operator==(const Value&) const = default;

    // A readable form for messages and tests.
    std::string Describe() const;

  private:
    explicit Value(Storage v) : v_(std::move(v)) {}
    Storage v_;
};

}  // namespace pq::tabledb
