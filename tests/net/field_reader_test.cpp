#include "net/field_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora::net {
namespace {

TEST(FieldReader, IntegerConversions) {
  struct Case {
    const char* field;
    std::optional<int32_t> expected;
  } cases[] = {
      {"0", 0},
      {"52566771", 52566771},
      {"-2500", -2500},
      {"+15", 15},
      {"  42", 42},                   // leading blanks are allowed
      {"$FF", 255},                   // hexadecimal colour
      {"$00ff00", 0x00FF00},
      {"-$10", -16},
      {"$FFFFFFFF", -1},              // eight hex digits are 32 bits
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"0000000000012", 12},          // leading zeros do not overflow
      {"2147483648", std::nullopt},   // one past the range
      {"-2147483649", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"$123456789", std::nullopt},   // nine hex digits
      {"", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"12 ", std::nullopt},          // trailing blanks are not a number
      {"1.5", std::nullopt},
      {"abc", std::nullopt},
      {"$G1", std::nullopt},
      {"0x10", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseIntegerField(c.field), c.expected) << "field '" << c.field << "'";
  }
}

TEST(FieldReader, FloatConversions) {
  struct Case {
    const char* field;
    std::optional<double> expected;
  } cases[] = {
      {"12.5", 12.5},       {"-3", -3.0},          {"+0.25", 0.25},      {" 1e3 ", 1000.0},
      {".5", 0.5},          {"123456789012", 123456789012.0},            {"", std::nullopt},
      {"inf", std::nullopt}, {"nan", std::nullopt}, {"-infinity", std::nullopt},
      {"1e999", std::nullopt}, {"1,5", std::nullopt}, {"1.5x", std::nullopt}, {"--1", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseFloatField(c.field), c.expected) << "field '" << c.field << "'";
  }
}

TEST(FieldReader, ReadsARowOfMixedFieldsAndRemovesWhatItRead) {
  FieldReader reader("52566771;40;-12.5;$0000FF;hello world\tnext\tlast\nrest");
  EXPECT_EQ(reader.ReadInteger(), 52566771);
  EXPECT_EQ(reader.ReadInteger(), 40);
  EXPECT_EQ(reader.ReadFloat(), -12.5);
  EXPECT_EQ(reader.ReadInteger(), 0xFF0000 >> 16);
  EXPECT_EQ(reader.ReadText(), "hello world");
  EXPECT_EQ(reader.ReadText(), "next");
  // The newline ends a text field but stays in the text.
  EXPECT_EQ(reader.ReadText(), "last");
  EXPECT_EQ(reader.Rest(), "\nrest");
  EXPECT_EQ(reader.ReadText(), "");
  EXPECT_EQ(reader.Rest(), "\nrest");
}

TEST(FieldReader, AFailedNumberRemovesNothing) {
  FieldReader reader("12;abc;7");
  EXPECT_EQ(reader.ReadInteger(), 12);
  EXPECT_EQ(reader.ReadInteger(), std::nullopt);
  EXPECT_EQ(reader.Rest(), "abc;7");
  EXPECT_EQ(reader.ReadFloat(), std::nullopt);
  EXPECT_EQ(reader.Rest(), "abc;7");
  // The field is text after all; then the last number has no ";".
  EXPECT_EQ(reader.ReadText(), "abc;7");
  EXPECT_EQ(reader.ReadInteger(), std::nullopt);

  FieldReader noSemicolon("15");
  EXPECT_EQ(noSemicolon.ReadInteger(), std::nullopt);
  EXPECT_EQ(noSemicolon.Rest(), "15");
}

TEST(FieldReader, TextWithoutTabOrNewlineIsTheWholeRest) {
  FieldReader reader("名前のみ");
  EXPECT_EQ(reader.ReadText(), "名前のみ");
  EXPECT_TRUE(reader.Rest().empty());
}

TEST(FieldReader, BitsFields) {
  struct Case {
    const char* text;
    int32_t expected;
    const char* rest;
  } cases[] = {
      {"101;x", 5, "x"},
      {"1;", 1, ""},
      {";7", 0, "7"},                       // an empty run is 0
      {"0001;", 1, ""},
      {"11111111111111111111111111111111;", -1, ""},  // 32 ones
      {"100000000000000000000000000000001;", 1, ""},  // kept to the low 32 bits
      {"102;", kBitsFieldFailure, "102;"},   // a digit other than 0/1 ends the run
      {"11", kBitsFieldFailure, "11"},       // no ";" at all
      {"", kBitsFieldFailure, ""},
      {" 1;", kBitsFieldFailure, " 1;"},
  };
  for (const Case& c : cases) {
    FieldReader reader(c.text);
    EXPECT_EQ(reader.ReadBits(), c.expected) << "text '" << c.text << "'";
    EXPECT_EQ(reader.Rest(), c.rest) << "text '" << c.text << "'";
  }
}

}  // namespace
}  // namespace velmora::net
