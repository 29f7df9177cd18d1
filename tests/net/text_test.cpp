#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "net/data_file.h"
#include "net/text_encoding.h"
#include "tests/support/temp_file.h"

namespace velmora::net {
namespace {

// "行先" in CP932.
constexpr char kDestinationCp932[] = "\x8d\x73\x90\xe6";

TEST(TextEncoding, ConvertsBothWaysAndKeepsAscii) {
  const TextConversion utf8 = Cp932ToUtf8(std::string("a\\~;") + kDestinationCp932);
  ASSERT_TRUE(utf8.Ok);
  EXPECT_EQ(utf8.Text, "a\\~;行先");

  const TextConversion back = Utf8ToCp932(utf8.Text);
  ASSERT_TRUE(back.Ok);
  EXPECT_EQ(back.Text, std::string("a\\~;") + kDestinationCp932);

  const std::string messages = "通信エラーが発生しました。ヘルプ　閉じる・ＭＳ";
  EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932(messages).Text).Text, messages);
}

TEST(TextEncoding, InvalidSequencesAreReportedWithTheirOffset) {
  struct Case {
    std::string input;
    std::size_t offset;
    std::string convertedBefore;
  } cases[] = {
      {"ab\xa0z", 2, "ab"},        // 0xA0 is no character
      {"abc\x82", 3, "abc"},       // lead byte cut off at the end
      {"\xfd", 0, ""},
  };
  for (const Case& c : cases) {
    const TextConversion result = Cp932ToUtf8(c.input);
    EXPECT_FALSE(result.Ok);
    EXPECT_EQ(result.ErrorOffset, c.offset);
    EXPECT_EQ(result.Text, c.convertedBefore);
  }
  // Characters CP932 cannot express, and broken UTF-8, fail the other way.
  EXPECT_FALSE(Utf8ToCp932("ok \xF0\x9F\x9A\x80").Ok);
  EXPECT_FALSE(Utf8ToCp932("\xC3").Ok);
}

TEST(TextEncoding, LongTextGrowsTheOutput) {
  std::string input;
  for (int i = 0; i < 5000; ++i) input += kDestinationCp932;
  const TextConversion result = Cp932ToUtf8(input);
  ASSERT_TRUE(result.Ok);
  EXPECT_EQ(result.Text.size(), 5000u * 6u);
}

class DataFileTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const std::string& bytes) {
    return velmora::testing::WriteTestFile("data_file_test.dat", bytes);
  }
};

TEST_F(DataFileTest, SplitsLinesOnEveryLineEnd) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb", {"a", "b"}},
      {"a\n\nb", {"a", "", "b"}},   // an empty line in the middle is a line
      {"a\n\n", {"a", ""}},
      {std::string(kDestinationCp932) + "\tx\n", {"行先\tx"}},
  };
  for (const Case& c : cases) {
    const DataFileLines result = ReadDataFileLines(Write(c.bytes));
    EXPECT_FALSE(result.Error);
    EXPECT_EQ(result.Lines, c.lines);
  }
}

TEST_F(DataFileTest, ErrorsNameTheFileAndLine) {
  const auto bad = Write("good\nalso good\nbad \x82");
  const DataFileLines result = ReadDataFileLines(bad);
  ASSERT_TRUE(result.Error);
  EXPECT_EQ(result.Error->Line, 3);
  EXPECT_EQ(result.Error->Message(),
            bad.string() + ": line 3: invalid Shift-JIS byte sequence at column 5");

  const DataFileLines missing = ReadDataFileLines("/nonexistent/vehicles.dat");
  ASSERT_TRUE(missing.Error);
  EXPECT_EQ(missing.Error->Message(),
            "/nonexistent/vehicles.dat: cannot open: No such file or directory");

  const DataFileLines directory = ReadDataFileLines(::testing::TempDir());
  ASSERT_TRUE(directory.Error);
  EXPECT_NE(directory.Error->Message().find("is a directory"), std::string::npos);
}

}  // namespace
}  // namespace velmora::net
