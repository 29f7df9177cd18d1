#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/server_options.h"

namespace velmora::server {
namespace {

TEST(ServerOptions, DefaultsAndEveryOption) {
  const OptionsParse defaults = ParseServerOptions({});
  ASSERT_FALSE(defaults.Error);
  EXPECT_EQ(defaults.Options.Address, "127.0.0.1");
  EXPECT_EQ(defaults.Options.Port, 64000);
  EXPECT_EQ(defaults.Options.WorldNo, 52566771);
  EXPECT_EQ(defaults.Options.RoomNo, 1);
  EXPECT_EQ(defaults.Options.IntervalMs, 100);
  EXPECT_EQ(defaults.Options.MaxUsers, 100);
  EXPECT_EQ(defaults.Options.MaxUsersPerAddress, 8);
  EXPECT_EQ(defaults.Options.IdleLimitSeconds, 120);
  EXPECT_FALSE(defaults.Options.Help);

  const OptionsParse all =
      ParseServerOptions({"--address", "0.0.0.0", "--port", "0", "--world", "-5", "--room", "3",
                          "--interval", "50", "--max-users", "2", "--missions", "m.txt",
                          "--max-per-address", "0", "--idle-limit", "86400"});
  ASSERT_FALSE(all.Error) << *all.Error;
  EXPECT_EQ(all.Options.Address, "0.0.0.0");
  EXPECT_EQ(all.Options.Port, 0);
  EXPECT_EQ(all.Options.WorldNo, -5);
  EXPECT_EQ(all.Options.RoomNo, 3);
  EXPECT_EQ(all.Options.IntervalMs, 50);
  EXPECT_EQ(all.Options.MaxUsers, 2);
  EXPECT_EQ(all.Options.MissionsPath, "m.txt");
  EXPECT_EQ(all.Options.MaxUsersPerAddress, 0);
  EXPECT_EQ(all.Options.IdleLimitSeconds, 86400);
  EXPECT_TRUE(ParseServerOptions({"--help"}).Options.Help);
  EXPECT_NE(ServerHelpText().find("--missions FILE"), std::string::npos);
}

TEST(ServerOptions, BadArgumentsSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> arguments;
    std::string error;  // a part of the message
  };
  const std::vector<Case> cases = {
      {{"--bogus"}, "unknown option '--bogus'"},
      {{"64000"}, "unknown option '64000'"},
      {{"--port"}, "needs a value"},
      {{"--port", "65536"}, "from 0 to 65535"},
      {{"--port", "-1"}, "from 0 to 65535"},
      {{"--port", "12x"}, "not '12x'"},
      {{"--world", "99999999999"}, "32 bits"},
      {{"--interval", "5"}, "from 10 to 10000"},
      {{"--max-users", "0"}, "from 1 to 100"},
      {{"--max-users", "101"}, "from 1 to 100"},
      {{"--max-per-address", "-1"}, "from 0 to 100"},
      {{"--max-per-address", "101"}, "from 0 to 100"},
      {{"--idle-limit", "-1"}, "from 0 to 86400"},
      {{"--idle-limit", "86401"}, "from 0 to 86400"},
  };
  for (const Case& c : cases) {
    const OptionsParse parse = ParseServerOptions(c.arguments);
    ASSERT_TRUE(parse.Error) << c.arguments.front();
    EXPECT_NE(parse.Error->find(c.error), std::string::npos) << *parse.Error;
  }
}

}  // namespace
}  // namespace velmora::server
