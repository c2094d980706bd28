// LogValue: one database value as a change log carries it in a field line (the old and new
// value of an update, the fields of a deleted record). The data layer writes it, the undo
// shows it in its question and hands it back to the data layer, which stores it again; all
// three use this one codec, so that a delete followed by its restore gives the record back
// byte for byte.
//
// A value is written as plain text whenever reading that text by the column's affinity
// gives the value back exactly; that is what logs always held, and they read as before:
// "" is NULL, a number in a numeric column is a number (the decimal point or the decimal
// comma a German system writes), anything else text. What plain text cannot carry (empty
// text, text that would read as a number, text with NUL or invalid UTF-8, BLOBs, numbers
// in a column without affinity, the store's empty-value placeholder "!###!") is written as
// NUL, a letter and the value: T text, X text as hex bytes, B BLOB as hex, I integer,
// R real. No log written before could hold a field that starts with NUL (the NUL of
// &#0; was not decoded), so the two forms never meet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvesk {

struct LogValue {
  enum class Kind : uint8_t { Null, Integer, Real, Text, Blob };
  Kind kind = Kind::Null;
  int64_t integer = 0;
  double real = 0;
  std::string bytes;  // Text (as stored, UTF-8 or not) and Blob

  static LogValue Null() { return {}; }
  static LogValue Integer(int64_t v) { return {Kind::Integer, v, 0, {}}; }
  static LogValue Real(double v) { return {Kind::Real, 0, v, {}}; }
  static LogValue Text(std::string v) { return {Kind::Text, 0, 0, std::move(v)}; }
  static LogValue Blob(std::string v) { return {Kind::Blob, 0, 0, std::move(v)}; }
  friend bool operator==(const LogValue&, const LogValue&) = default;
};

// Column affinities by SQLite's rules: 'I'nteger, 'R'eal, 'N'umeric, 'T'ext, 'B'lob (none).
char AffinityOfType(std::string_view declaredType);

// The value a field's text stands for in a column of that affinity; nullopt when the text
// does not convert (text that is no number for an INTEGER or REAL column). A NUMERIC
// column keeps text that is no number as text, as SQLite itself does (dates live there).
std::optional<LogValue> ReadLogValue(std::string_view text, char affinity);
// The text that ReadLogValue turns back into exactly this value.
std::string WriteLogValue(const LogValue& value, char affinity);
// The text a person is shown for a field's text: plain text as it stands, a BLOB as
// X'hex', the other marked forms as their value.
std::string ShowLogValue(std::string_view text);
// The text a host reads back for a field's text, to compare with a value read from the
// database as text: the marked forms decoded (numbers in their shortest form, text and
// BLOB as their bytes), plain text as it stands.
std::string LogValueAsRead(std::string_view text);

}  // namespace tarvesk
