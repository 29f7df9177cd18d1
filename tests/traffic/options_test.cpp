// The command line of velmora-traffic: each value at its bounds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "traffic/traffic_options.h"

namespace velmora::traffic {
namespace {

TEST(TrafficOptions, ValuesAtTheirBounds) {
  struct TRow {
    std::vector<std::string> Arguments;
    bool Ok;
  };
  const TRow rows[] = {
      {{"--count", "0"}, false},  // would run for ever doing nothing
      {{"--count", "1"}, true},
      {{"--count", "400"}, true},
      {{"--count", "401"}, false},
      {{"--count", "-1"}, false},
      {{"--first", "1"}, true},
      {{"--first", "9999"}, true},
      {{"--first", "0"}, false},
      {{"--first", "10000"}, false},
      {{"--server", "h:1"}, true},
      {{"--server", "h:65535"}, true},
      {{"--server", "h:0"}, false},
      {{"--server", "h:65536"}, false},
      {{"--server", ":64000"}, false},
      {{"--server", "h"}, false},
      {{"--server", "[::1]:64000"}, true},
      {{"--server", "::1:64000"}, false},
      {{"-h"}, true},
      {{"--help"}, true},
      {{"--kinds", "train,car"}, true},
      {{"--kinds", "train,"}, false},
      {{"--status", "0"}, false},
      {{"--status", "86400"}, true},
      {{"--first"}, false},
      {{"--bogus", "1"}, false},
  };
  for (const TRow& row : rows) {
    const TOptionsParse parse = ParseTrafficOptions(row.Arguments);
    EXPECT_EQ(!parse.Error.has_value(), row.Ok)
        << row.Arguments[0] << " " << (row.Arguments.size() > 1 ? row.Arguments[1] : "");
  }
  const TOptionsParse parse = ParseTrafficOptions({"--server", "[::1]:64100", "--first", "9"});
  ASSERT_FALSE(parse.Error);
  EXPECT_EQ(parse.Options.Host, "::1");
  EXPECT_EQ(parse.Options.Port, 64100);
  EXPECT_EQ(parse.Options.First, 9);
  // The server and the count are optional, and the usage says so with their defaults.
  const std::string usage = TrafficUsage();
  for (const char* part : {"[--server HOST:PORT]", "[--count N]", "(default 127.0.0.1:64000)",
                           "(default 1)", "-h, --help"}) {
    EXPECT_NE(usage.find(part), std::string::npos) << part;
  }
}

}  // namespace
}  // namespace velmora::traffic
