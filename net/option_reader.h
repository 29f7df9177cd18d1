// Command lines, read one argument at a time: options with and without a
// value, commands and parameters, and whole numbers within their bounds. The
// programs' parsers share it and each words its own messages.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::net {

class TOptionReader {
 public:
  // Reads the arguments from `first` on (1 passes over a program's name).
  explicit TOptionReader(const std::vector<std::string>& arguments, std::size_t first = 0);

  bool AtEnd() const { return next_ >= arguments_.size(); }
  // The next argument, left in place; only before the end.
  const std::string& Peek() const { return arguments_[next_]; }
  // Takes the next argument: an option, a command or a parameter; only before the end.
  const std::string& Take() { return arguments_[next_++]; }
  // Takes the argument after the option just taken as its value; nothing, and
  // nothing taken, at the end of the line.
  std::optional<std::string> Value();
  // Whether one of the arguments from `first` on, taken or not, is one of these.
  bool Any(std::initializer_list<std::string_view> names) const;

 private:
  const std::vector<std::string>& arguments_;
  std::size_t first_;
  std::size_t next_;
};

// How a command line writes a whole number: an optional sign and decimal
// digits, or also "$" and hexadecimal digits read as 32 bits ("$FFFFFFFF"
// is -1, as a 32-bit hexadecimal constant reads).
enum class TNumberForm { Decimal, DecimalOrHex };

// The whole number a text gives; nothing when the text is anything else or
// the number lies outside [lo, hi].
std::optional<int64_t> ReadWholeNumber(std::string_view text, int64_t lo, int64_t hi,
                                       TNumberForm form = TNumberForm::Decimal);

}  // namespace velmora::net
