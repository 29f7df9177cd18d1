#include "server/log_writer.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace velmora::server {
namespace {

TEST(LogWriter, ALogNobodyReadsDropsLinesAndSaysHowManyOnceItIsReadAgain) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  constexpr int kLines = 20000;  // 2 MB: far more than the pipe and the queue hold
  std::string text;
  {
    LogWriter writer(fds[1], 64 * 1024);
    // Nobody reads while the lines are written: each one is queued or
    // dropped at once.
    for (int i = 0; i < kLines; ++i)
      writer.Write("line " + std::to_string(i) + std::string(90, '.'));
    // The log is read again; the next line is preceded by the count.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool wroteLast = false;
    while (text.find("last\n") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      pollfd p{fds[0], POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        char buffer[65536];
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
      } else if (!wroteLast) {
        writer.Write("last");  // once the queue has gone out
        wroteLast = true;
      }
    }
  }
  close(fds[0]);
  close(fds[1]);
  // Every line that went out is whole and in order; where lines are missing,
  // a line before the next one that went out says how many.
  const std::string dropped = " log lines dropped: the log was not read in time";
  int expected = 0;
  int notices = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    ASSERT_NE(end, std::string::npos) << "a line cut short";
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    if (line.size() > dropped.size() &&
        line.compare(line.size() - dropped.size(), dropped.size(), dropped) == 0) {
      expected += std::stoi(line);
      ++notices;
    } else if (expected < kLines) {
      ASSERT_EQ(line, "line " + std::to_string(expected) + std::string(90, '.'));
      ++expected;
    } else {
      EXPECT_EQ(line, "last");
    }
  }
  EXPECT_EQ(expected, kLines);
  EXPECT_GT(notices, 0);
}

}  // namespace
}  // namespace velmora::server
