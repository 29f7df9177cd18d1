#include "net/host_port.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace velmora::net {

TEST(HostPort, ReadAndWrittenBack) {
  const struct {
    const char* Text;
    std::optional<std::string> Host;  // nothing: refused
    uint16_t Port;
  } cases[] = {
      {"127.0.0.1:64000", "127.0.0.1", 64000},
      {"h:1", "h", 1},
      {"h:65535", "h", 65535},
      {"[::1]:64000", "::1", 64000},
      {"h:0", {}, 0},
      {"h:65536", {}, 0},
      {"h:$FA00", {}, 0},
      {"h: 1", {}, 0},
      {"h", {}, 0},
      {":64000", {}, 0},
      {"[]:1", {}, 0},
      {"::1:64000", {}, 0},  // which colon ends the address?
  };
  for (const auto& c : cases) {
    const std::optional<THostPort> read = ParseHostPort(c.Text);
    ASSERT_EQ(read.has_value(), c.Host.has_value()) << c.Text;
    if (!read) continue;
    EXPECT_EQ(read->Host, *c.Host);
    EXPECT_EQ(read->Port, c.Port);
    EXPECT_EQ(JoinHostPort(read->Host, read->Port), c.Text);
  }
  EXPECT_EQ(WithoutBrackets("[::1]"), "::1");
  EXPECT_EQ(WithoutBrackets("localhost"), "localhost");
}

}  // namespace velmora::net
