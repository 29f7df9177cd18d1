#include "net/option_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

namespace velmora::net {
namespace {

TEST(OptionReader, WholeNumbersWithinTheirBounds) {
  constexpr int64_t kMin32 = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
  constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
  constexpr TNumberForm kHex = TNumberForm::DecimalOrHex;
  constexpr TNumberForm kDecimal = TNumberForm::Decimal;
  const struct {
    const char* Text;
    TNumberForm Form;
    int64_t Lo, Hi;
    std::optional<int64_t> Value;
  } cases[] = {
      {"0", kHex, kMin32, kMax32, 0},
      {"-12", kHex, kMin32, kMax32, -12},
      {"+5", kHex, kMin32, kMax32, 5},
      {"$10", kHex, kMin32, kMax32, 16},
      {"$FFFFFFFF", kHex, kMin32, kMax32, -1},
      {"2147483647", kHex, kMin32, kMax32, 2147483647},
      {"2147483648", kHex, kMin32, kMax32, {}},
      {"-2147483648", kHex, kMin32, kMax32, kMin32},
      {"-2147483649", kHex, kMin32, kMax32, {}},
      {"12a", kHex, kMin32, kMax32, {}},
      {"", kHex, kMin32, kMax32, {}},
      {"$", kHex, kMin32, kMax32, {}},
      {"abc", kHex, kMin32, kMax32, {}},
      {"1.5", kHex, kMin32, kMax32, {}},
      {"$10", kDecimal, 0, 100, {}},
      {" 5", kDecimal, 0, 100, {}},
      {"100", kDecimal, 0, 100, 100},
      {"101", kDecimal, 0, 100, {}},
      {"-0", kDecimal, 0, 100, 0},
      {"-1", kDecimal, 0, 100, {}},
      {"9223372036854775807", kDecimal, kMin64, kMax64, kMax64},
      {"9223372036854775808", kDecimal, kMin64, kMax64, {}},
      {"-9223372036854775808", kDecimal, kMin64, kMax64, kMin64},
      {"-9223372036854775809", kDecimal, kMin64, kMax64, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadWholeNumber(c.Text, c.Lo, c.Hi, c.Form), c.Value) << "'" << c.Text << "'";
  }
}

}  // namespace
}  // namespace velmora::net
