#include "net/option_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

namespace velmora::net {
namespace {

// The program's parameters take "$" hexadecimal as 32 bits; every option
// takes decimal alone. Each bound is tried on both sides.
TEST(OptionReader, WholeNumbersWithinTheirBounds) {
  constexpr int64_t kMin32 = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
  const struct {
    const char* Text;
    std::optional<int64_t> Value;
  } parameters[] = {{"0", 0},
                    {"-12", -12},
                    {"+5", 5},
                    {"$10", 16},
                    {"$FFFFFFFF", -1},
                    {"2147483647", kMax32},
                    {"2147483648", {}},
                    {"-2147483648", kMin32},
                    {"-2147483649", {}},
                    {"12a", {}},
                    {"", {}},
                    {"$", {}},
                    {"abc", {}},
                    {"1.5", {}}};
  for (const auto& c : parameters) {
    EXPECT_EQ(ReadWholeNumber(c.Text, kMin32, kMax32, TNumberForm::DecimalOrHex), c.Value)
        << c.Text;
  }
  constexpr int64_t kMin64 = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
  const struct {
    const char* Text;
    int64_t Lo, Hi;
    std::optional<int64_t> Value;
  } options[] = {{"100", 0, 100, 100},
                 {"101", 0, 100, {}},
                 {"-0", 0, 100, 0},
                 {"-1", 0, 100, {}},
                 {"$10", 0, 100, {}},
                 {" 5", 0, 100, {}},
                 {"9223372036854775807", kMin64, kMax64, kMax64},
                 {"9223372036854775808", kMin64, kMax64, {}},
                 {"-9223372036854775808", kMin64, kMax64, kMin64},
                 {"-9223372036854775809", kMin64, kMax64, {}}};
  for (const auto& c : options) EXPECT_EQ(ReadWholeNumber(c.Text, c.Lo, c.Hi), c.Value) << c.Text;
}

}  // namespace
}  // namespace velmora::net
