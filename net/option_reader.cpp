#include "net/option_reader.h"

#include <algorithm>
#include <limits>

namespace velmora::net {

TOptionReader::TOptionReader(const std::vector<std::string>& arguments, std::size_t first)
    : arguments_(arguments), first_(first), next_(first) {}

std::optional<std::string> TOptionReader::Value() {
  if (AtEnd()) return std::nullopt;
  return Take();
}

bool TOptionReader::Any(std::initializer_list<std::string_view> names) const {
  for (std::size_t i = first_; i < arguments_.size(); ++i) {
    if (std::find(names.begin(), names.end(), arguments_[i]) != names.end()) return true;
  }
  return false;
}

std::optional<int64_t> ReadWholeNumber(std::string_view text, int64_t lo, int64_t hi,
                                       TNumberForm form) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  const bool hex = form == TNumberForm::DecimalOrHex && !text.empty() && text.front() == '$';
  if (hex) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  const uint64_t base = hex ? 16 : 10;
  // The magnitude stops at 2^63, past every bound a caller can give.
  constexpr uint64_t kMost = uint64_t{1} << 63;
  uint64_t magnitude = 0;
  for (const char c : text) {
    uint64_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint64_t>(c - '0');
    } else if (hex && c >= 'a' && c <= 'f') {
      digit = static_cast<uint64_t>(c - 'a' + 10);
    } else if (hex && c >= 'A' && c <= 'F') {
      digit = static_cast<uint64_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (magnitude > (kMost - digit) / base) return std::nullopt;
    magnitude = magnitude * base + digit;
  }
  int64_t value;
  if (hex && !negative && magnitude <= std::numeric_limits<uint32_t>::max()) {
    value = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
  } else if (negative) {
    value =
        magnitude == kMost ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(magnitude);
  } else if (magnitude < kMost) {
    value = static_cast<int64_t>(magnitude);
  } else {
    return std::nullopt;
  }
  if (value < lo || value > hi) return std::nullopt;
  return value;
}

}  // namespace velmora::net
