// Variant: the value type of late-bound calls and of database fields. It holds one of
// Empty, Null, Boolean, Long (32 bit), LongLong (64 bit), Double, Date or String (UTF-8).
// A Date is the automation date: days since 30 December 1899, time of day as fraction.
// Conversions follow the rules of a German VB system (see Conversions.h).
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace tarvesk {

struct DateValue {
  double serial = 0;
  friend bool operator==(const DateValue&, const DateValue&) = default;
};

class Variant {
 public:
  enum class Type { Empty, Null, Boolean, Long, LongLong, Double, Date, String };

  Variant() = default;
  Variant(bool v) : value_(v) {}
  Variant(int32_t v) : value_(v) {}
  Variant(int64_t v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(DateValue v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}

  static Variant Null() {
    Variant v;
    v.value_ = NullTag{};
    return v;
  }

  Type GetType() const { return static_cast<Type>(value_.index()); }
  bool IsEmpty() const { return GetType() == Type::Empty; }
  bool IsNull() const { return GetType() == Type::Null; }

  // Typed access; the caller has checked the type.
  bool AsBool() const { return std::get<bool>(value_); }
  int32_t AsLong() const { return std::get<int32_t>(value_); }
  int64_t AsLongLong() const { return std::get<int64_t>(value_); }
  double AsDouble() const { return std::get<double>(value_); }
  DateValue AsDate() const { return std::get<DateValue>(value_); }
  const std::string& AsString() const { return std::get<std::string>(value_); }

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  struct NullTag {
    friend bool operator==(NullTag, NullTag) { return true; }
  };
  // Order matches Type.
  std::variant<std::monostate, NullTag, bool, int32_t, int64_t, double, DateValue, std::string>
      value_;
};

}  // namespace tarvesk
