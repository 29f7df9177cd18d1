#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/request_guard.h"

namespace velmora::server {
namespace {

std::string RequestLine(std::size_t bytes) {
  const std::string head = "GET /";
  const std::string tail = " HTTP/1.1";
  return head + std::string(bytes - head.size() - tail.size(), 'a') + tail + "\r\n";
}

std::string Headers(int count, std::size_t lineBytes) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "X:" + std::string(lineBytes - 2, 'v') + "\r\n";
  return text;
}

TEST(RequestGuard, EachBoundOnBothSides) {
  struct Case {
    const char* name;
    std::string bytes;
    GuardVerdict verdict;
  };
  const std::string get = "GET / HTTP/1.1\r\n";
  const std::vector<Case> cases = {
      {"request line at the bound", RequestLine(kMaxRequestLine), GuardVerdict::Fine},
      {"request line past it", RequestLine(kMaxRequestLine + 1), GuardVerdict::RequestLineTooLong},
      {"a request line without its end yet", std::string(kMaxRequestLine, 'G'), GuardVerdict::Fine},
      {"headers at the count", get + Headers(kMaxHeaderLines, 10) + "\r\n", GuardVerdict::Fine},
      {"one header more", get + Headers(kMaxHeaderLines + 1, 10), GuardVerdict::HeadersTooLarge},
      {"a header line at the bound", get + Headers(1, kMaxHeaderLine), GuardVerdict::Fine},
      {"a header line past it", get + Headers(1, kMaxHeaderLine + 1),
       GuardVerdict::HeadersTooLarge},
      {"header bytes at the bound", get + Headers(4, kMaxHeaderBytes / 4) + "\r\n",
       GuardVerdict::Fine},
      {"header bytes past it", get + Headers(4, kMaxHeaderBytes / 4) + "X",
       GuardVerdict::HeadersTooLarge},
      // The counts start again with each request of a kept-alive connection,
      // and blank lines before a request are allowed.
      {"requests one after another",
       "\r\n" + get + Headers(kMaxHeaderLines, 10) + "\r\n" + get + Headers(kMaxHeaderLines, 10) +
           "\r\n",
       GuardVerdict::Fine},
      {"bare line feeds", "GET / HTTP/1.1\nHost: x\n\n" + RequestLine(kMaxRequestLine),
       GuardVerdict::Fine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RequestGuard whole;
    EXPECT_EQ(whole.Feed(c.bytes), c.verdict);
    // The same bytes a few at a time.
    RequestGuard pieces;
    GuardVerdict last = GuardVerdict::Fine;
    for (std::size_t at = 0; at < c.bytes.size(); at += 7)
      last = pieces.Feed(c.bytes.substr(at, 7));
    EXPECT_EQ(last, c.verdict);
  }
  RequestGuard refused;
  refused.Feed(RequestLine(kMaxRequestLine + 1));
  EXPECT_EQ(refused.Feed(get), GuardVerdict::RequestLineTooLong) << "a verdict stays";
}

}  // namespace
}  // namespace velmora::server
