#include "net/data_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora::net {
namespace {

TEST(Excerpt, ShortTextStandsAndLongTextIsCutVisibly) {
  const std::string marker = "…";
  struct Case {
    std::size_t bytes;
    bool cut;
  } cases[] = {{0, false},
               {kMaxExcerptBytes - 1, false},
               {kMaxExcerptBytes, false},
               {kMaxExcerptBytes + 1, true},
               {10 * 1024 * 1024, true}};
  for (const Case& c : cases) {
    const std::string text(c.bytes, 'a');
    const std::string excerpt = Excerpt(text);
    if (c.cut) {
      EXPECT_EQ(excerpt, std::string(kMaxExcerptBytes, 'a') + marker + "(" +
                             std::to_string(c.bytes) + " bytes in all)");
    } else {
      EXPECT_EQ(excerpt, text);
    }
  }
}

TEST(Excerpt, NeverSplitsACharacter) {
  // "あ" is three bytes: a cut at 80 bytes falls inside the 27th.
  std::string text;
  while (text.size() <= kMaxExcerptBytes) text += "あ";
  const std::string excerpt = Excerpt(text);
  const std::size_t kept = (kMaxExcerptBytes / 3) * 3;
  EXPECT_EQ(excerpt.substr(0, kept), text.substr(0, kept));
  EXPECT_EQ(excerpt.substr(kept, 3), "…");
}

TEST(DataLines, BlankLinesAtTheEndAreNoRecords) {
  struct Case {
    std::vector<std::string> lines;
    std::size_t count;
  } cases[] = {
      {{}, 0},
      {{"", " ", "\t"}, 0},
      {{"a"}, 1},
      {{"a", ""}, 1},
      {{"a", " ", "\t", ""}, 1},
      {{"a", "", "b"}, 3},  // a blank line inside stays a line
      {{"a", "", "b", " "}, 3},
  };
  for (const Case& c : cases) EXPECT_EQ(CountUpToLastContent(c.lines), c.count);
}

}  // namespace
}  // namespace velmora::net
