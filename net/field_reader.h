// Field readers shared by the server protocol and the three data-file
// loaders. A record is a row of fields: numbers end with ";", free text ends
// with a TAB (or stops before a newline). Each reader takes its field from the
// front of the text and removes it; a failed read removes nothing and says so
// through its result, so the caller decides what a bad field means.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace velmora::net {

// The text without blanks and control characters (bytes up to ' ') at either
// end, as a text editor hides them.
std::string_view TrimControl(std::string_view text);

// Result of ReadBits when the run of 0/1 digits is not closed by ";".
inline constexpr int32_t kBitsFieldFailure = std::numeric_limits<int32_t>::min();

// Converts a whole field as a signed 32-bit integer: optional leading blanks,
// optional sign, then decimal digits, or "$" and up to eight hexadecimal digits
// (read as 32 bits, so "$FFFFFFFF" is -1). Anything else is no number.
std::optional<int32_t> ParseIntegerField(std::string_view field);

// Converts a whole field as a finite decimal floating-point number (blanks
// around it allowed, optional sign and exponent). Infinities, NaN and values
// out of range are no number: they would poison every sum they reach.
std::optional<double> ParseFloatField(std::string_view field);

class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : rest_(text) {}

  // The characters before the next ";" as an integer; removed through the ";".
  std::optional<int32_t> ReadInteger();

  // The characters before the next ";" as a floating-point number.
  std::optional<double> ReadFloat();

  // The characters before the first TAB, or before the first newline when it
  // comes first. The TAB is removed, a newline is not. Never fails: without
  // either, the whole rest is the field.
  std::string_view ReadText();

  // A run of the digits 0 and 1 read as a base-2 number, most significant
  // digit first, kept to its low 32 bits; removed through the ";" that must
  // follow. When anything else follows the run, kBitsFieldFailure and nothing
  // is removed.
  int32_t ReadBits();

  // Text not read yet.
  std::string_view Rest() const { return rest_; }

 private:
  // The text before the next ";" and the length to remove with its ";".
  std::optional<std::string_view> NextNumberField(std::size_t& consumed) const;

  std::string_view rest_;
};

}  // namespace velmora::net
