#include "net/host_port.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora::net {
namespace {

TEST(HostPort, ReadAndWrittenBack) {
  struct Case {
    const char* Text;
    std::optional<std::string> Host;  // nothing: refused
    uint16_t Port;
  } cases[] = {
      {"127.0.0.1:64000", "127.0.0.1", 64000},
      {"server.example:1", "server.example", 1},
      {"h:65535", "h", 65535},
      {"[::1]:64000", "::1", 64000},
      {"[fe80::1%eth0]:2", "fe80::1%eth0", 2},
      {"h:0", std::nullopt, 0},  // no port to connect to
      {"h:65536", std::nullopt, 0},
      {"h:+1", std::nullopt, 0},
      {"h:$FA00", std::nullopt, 0},
      {"h: 1", std::nullopt, 0},
      {"h:", std::nullopt, 0},
      {"h", std::nullopt, 0},
      {":64000", std::nullopt, 0},
      {"[]:64000", std::nullopt, 0},
      {"::1:64000", std::nullopt, 0},  // which colon ends the address?
      {"[::1]", std::nullopt, 0},
      {"[::1:64000", std::nullopt, 0},
  };
  for (const Case& c : cases) {
    const std::optional<THostPort> read = ParseHostPort(c.Text);
    ASSERT_EQ(read.has_value(), c.Host.has_value()) << c.Text;
    if (!read) continue;
    EXPECT_EQ(read->Host, *c.Host) << c.Text;
    EXPECT_EQ(read->Port, c.Port) << c.Text;
    EXPECT_EQ(JoinHostPort(read->Host, read->Port), c.Text);
  }
  EXPECT_EQ(WithoutBrackets("[::1]"), "::1");
  EXPECT_EQ(WithoutBrackets("::1"), "::1");
  EXPECT_EQ(WithoutBrackets("localhost"), "localhost");
}

}  // namespace
}  // namespace velmora::net
