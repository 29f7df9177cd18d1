#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/json_text.h"

namespace velmora::net {
namespace {

TEST(JsonText, EscapesWhatJsonAndAPageNeed) {
  struct Case {
    std::string text;
    std::string json;
  };
  const std::vector<Case> cases = {
      {"", R"("")"},
      {"AI-01 たろう", R"("AI-01 たろう")"},
      {R"(a"b\c/)", R"("a\"b\\c/")"},
      {"<img src=x onerror=alert(1)>", R"("\u003cimg src=x onerror=alert(1)\u003e")"},
      {"</script>&amp;", R"("\u003c/script\u003e\u0026amp;")"},
      {"\n\t\r", R"("\n\u0009\u000d")"},
      {std::string("\x00\x1f\x20\x7f", 4), R"("\u0000\u001f \u007f")"},
      // U+2028 and U+2029 end a line in older JavaScript; U+2027 and U+202A do not.
      {"a\u2028b\u2029", R"("a\u2028b\u2029")"},
      {"\u2027\u202a", "\"\u2027\u202a\""},
      // A cut-off sequence at the end stays as it is.
      {"\xE2\x80", "\"\xE2\x80\""},
  };
  for (const Case& c : cases) {
    std::string out = "x";
    AppendJsonString(out, c.text);
    EXPECT_EQ(out, "x" + c.json) << c.json;
  }
}

}  // namespace
}  // namespace velmora::net
