#include "net/field_reader.h"

#include <charconv>
#include <cmath>

namespace velmora::net {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeadingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  text = TrimLeadingBlanks(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string_view TrimControl(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') text.remove_suffix(1);
  return text;
}

std::optional<int32_t> ParseIntegerField(std::string_view field) {
  std::string_view text = TrimLeadingBlanks(field);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;

  if (text.front() == '$') {
    text.remove_prefix(1);
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t value = 0;
    for (char c : text) {
      const int digit = HexDigitValue(c);
      if (digit < 0) return std::nullopt;
      value = value * 16u + static_cast<uint32_t>(digit);
    }
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
  }

  // Accumulate the magnitude in 64 bits; nine digits at most fit 32 bits
  // anyway, so a longer run is only allowed for leading zeros.
  int64_t magnitude = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > int64_t{1} << 31) return std::nullopt;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<double> ParseFloatField(std::string_view field) {
  std::string_view text = TrimBlanks(field);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // from_chars would also take "inf" and "nan"; a number starts with a digit
  // or a decimal point.
  if (text.empty() || !((text.front() >= '0' && text.front() <= '9') || text.front() == '.')) {
    return std::nullopt;
  }
  double value = 0.0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return negative ? -value : value;
}

std::optional<std::string_view> FieldReader::NextNumberField(std::size_t& consumed) const {
  const std::size_t semicolon = rest_.find(';');
  if (semicolon == std::string_view::npos) return std::nullopt;
  consumed = semicolon + 1;
  return rest_.substr(0, semicolon);
}

std::optional<int32_t> FieldReader::ReadInteger() {
  std::size_t consumed = 0;
  const auto field = NextNumberField(consumed);
  if (!field) return std::nullopt;
  const auto value = ParseIntegerField(*field);
  if (value) rest_.remove_prefix(consumed);
  return value;
}

std::optional<double> FieldReader::ReadFloat() {
  std::size_t consumed = 0;
  const auto field = NextNumberField(consumed);
  if (!field) return std::nullopt;
  const auto value = ParseFloatField(*field);
  if (value) rest_.remove_prefix(consumed);
  return value;
}

std::string_view FieldReader::ReadText() {
  const std::size_t end = rest_.find_first_of("\t\n");
  if (end == std::string_view::npos) {
    const std::string_view field = rest_;
    rest_ = {};
    return field;
  }
  const std::string_view field = rest_.substr(0, end);
  rest_.remove_prefix(rest_[end] == '\t' ? end + 1 : end);
  return field;
}

int32_t FieldReader::ReadBits() {
  uint32_t value = 0;
  std::size_t length = 0;
  while (length < rest_.size() && (rest_[length] == '0' || rest_[length] == '1')) {
    value = (value << 1) | static_cast<uint32_t>(rest_[length] - '0');
    ++length;
  }
  if (length >= rest_.size() || rest_[length] != ';') return kBitsFieldFailure;
  rest_.remove_prefix(length + 1);
  return static_cast<int32_t>(value);
}

}  // namespace velmora::net
