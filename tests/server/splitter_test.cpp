#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/message_splitter.h"

namespace velmora::server {
namespace {

const std::string kPrefix = "52566771;20;1;";

// Feeds the pieces in order and collects every message body; "!" marks the
// point where the splitter reported the stream malformed.
std::vector<std::string> Split(const std::vector<std::string>& pieces, bool flushAtEnd = false) {
  MessageSplitter splitter(kPrefix);
  std::vector<std::string> bodies;
  for (const std::string& piece : pieces) {
    splitter.Append(piece);
    for (;;) {
      SplitResult next = splitter.Next();
      if (next.Status == SplitStatus::NeedMore) break;
      if (next.Status == SplitStatus::Malformed) {
        bodies.push_back("!");
        return bodies;
      }
      bodies.push_back(next.Body);
    }
  }
  if (flushAtEnd) {
    SplitResult last = splitter.Flush();
    if (last.Status == SplitStatus::Message) bodies.push_back(last.Body);
    if (last.Status == SplitStatus::Malformed) bodies.push_back("!");
  }
  return bodies;
}

TEST(MessageSplitter, DelimitsEachCodeByItsFields) {
  const std::string state =
      "40;7;1;123456;1;12;100;-200;-300000;9000;0;0;500;0;20000;0;";
  struct Case {
    const char* what;
    std::vector<std::string> pieces;
    std::vector<std::string> bodies;
  };
  const std::vector<Case> cases = {
      {"empty state", {kPrefix + "40;0;"}, {"40;0;"}},
      {"full state", {kPrefix + state}, {state}},
      {"mission choice", {kPrefix + "50;7;1;3;"}, {"50;7;1;3;"}},
      {"shot", {kPrefix + "60;7;1;9;"}, {"60;7;1;9;"}},
      {"chat ends at its TAB", {kPrefix + "20;7;1;hello\t"}, {"20;7;1;hello\t"}},
      {"empty chat", {kPrefix + "20;7;1;\t"}, {"20;7;1;\t"}},
      {"chat holding the prefix stays whole",
       {kPrefix + "20;7;1;see " + kPrefix + "40;0;\t"},
       {"20;7;1;see " + kPrefix + "40;0;\t"}},
      {"two messages in one read",
       {kPrefix + "40;0;" + kPrefix + "50;7;1;2;"},
       {"40;0;", "50;7;1;2;"}},
      {"two messages in three pieces",
       {kPrefix + "40;7;1;123456;1;12;", "100;-200;-300000;9000;0;0;500;0;20000;0;" + kPrefix,
        "20;7;1;hi\t"},
       {state, "20;7;1;hi\t"}},
      {"a message without its end waits", {kPrefix + "50;7;1;"}, {}},
      {"a prefix cut short waits", {kPrefix.substr(0, 5)}, {}},
      {"login ends at the next prefix",
       {kPrefix + "30;guest\ttovel\t100;ハンドル" + kPrefix + "40;0;"},
       {"30;guest\ttovel\t100;ハンドル", "40;0;"}},
      {"login alone waits for the grace period", {kPrefix + "30;guest\ttovel\t100;name"}, {}},
      {"bytes before any prefix", {"hello" + kPrefix + "40;0;"}, {"!"}},
      {"another world number", {"11111111;20;1;40;0;"}, {"!"}},
      {"a code that is no number", {kPrefix + "4x;0;"}, {"!"}},
      {"a state user number that is no number", {kPrefix + "40;x;"}, {"!"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Split(c.pieces), c.bodies) << c.what;
  }
}

TEST(MessageSplitter, ByteByByteGivesTheSameMessages) {
  const std::string stream = kPrefix + "40;0;" + kPrefix + "20;1;1;a;b\t" + kPrefix + "50;1;1;2;";
  std::vector<std::string> pieces;
  for (char c : stream) pieces.emplace_back(1, c);
  EXPECT_EQ(Split(pieces), (std::vector<std::string>{"40;0;", "20;1;1;a;b\t", "50;1;1;2;"}));
}

TEST(MessageSplitter, FlushCompletesOnlyAPendingLogin) {
  EXPECT_EQ(Split({kPrefix + "30;guest\ttovel\t100;na", "me"}, true),
            (std::vector<std::string>{"30;guest\ttovel\t100;name"}));
  // A state cut short is not complete because time passed.
  EXPECT_EQ(Split({kPrefix + "40;7;1;"}, true), (std::vector<std::string>{}));
  // Nothing pending: nothing comes out.
  EXPECT_EQ(Split({kPrefix + "40;0;"}, true), (std::vector<std::string>{"40;0;"}));
}

TEST(MessageSplitter, OversizedInputIsMalformedAndStaysSo) {
  MessageSplitter splitter(kPrefix);
  splitter.Append(kPrefix + "20;1;1;" + std::string(kMaxMessageLength, 'a'));
  EXPECT_EQ(splitter.Next().Status, SplitStatus::Malformed);
  splitter.Append("\t" + kPrefix + "40;0;");
  EXPECT_EQ(splitter.Next().Status, SplitStatus::Malformed);
  EXPECT_EQ(splitter.Flush().Status, SplitStatus::Malformed);
}

TEST(MessageSplitter, AMessageOfExactlyTheLimitPasses) {
  const std::string head = kPrefix + "20;1;1;";
  const std::string text(kMaxMessageLength - head.size() - 1, 'a');
  MessageSplitter splitter(kPrefix);
  splitter.Append(head + text + "\t");
  const SplitResult result = splitter.Next();
  ASSERT_EQ(result.Status, SplitStatus::Message);
  EXPECT_EQ(result.Body.size(), kMaxMessageLength - kPrefix.size());
  EXPECT_FALSE(splitter.HasPending());
}

}  // namespace
}  // namespace velmora::server
