#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "server/server_options.h"
#include "tests/support/temp_file.h"

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
  EXPECT_EQ(defaults.Options.MissionsPath, "");  // found by DefaultMissionsPath
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
  // A room above the 100 others a program shows is asked for by name.
  EXPECT_EQ(ParseServerOptions({"--max-users", "400"}).Options.MaxUsers, 400);
  EXPECT_TRUE(ParseServerOptions({"--help"}).Options.Help);
  EXPECT_TRUE(ParseServerOptions({"-h"}).Options.Help);
  EXPECT_EQ(ParseServerOptions({"--address", "[::1]"}).Options.Address, "::1");
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
      {{"--max-users", "0"}, "from 1 to 400"},
      {{"--max-users", "401"}, "from 1 to 400"},
      {{"--max-per-address", "-1"}, "from 0 to 100"},
      {{"--max-per-address", "101"}, "from 0 to 100"},
      {{"--idle-limit", "-1"}, "from 0 to 86400"},
      {{"--idle-limit", "86401"}, "from 0 to 86400"},
      {{"--missions", ""}, "needs a file name"},
  };
  for (const Case& c : cases) {
    const OptionsParse parse = ParseServerOptions(c.arguments);
    ASSERT_TRUE(parse.Error) << c.arguments.front();
    EXPECT_NE(parse.Error->find(c.error), std::string::npos) << *parse.Error;
  }
}

TEST(ServerOptions, MissionsInstalledBesideTheProgramWin) {
  namespace fs = std::filesystem;
  // Trees laid out as the install lays them out: programs in INSTALL_BINDIR,
  // the missions in INSTALL_DATADIR.
  const fs::path installed = testing::TestFilePath("installed");
  const fs::path missingMissions = testing::TestFilePath("bare");
  const fs::path folderNamedLikeFile = testing::TestFilePath("folder");
  for (const fs::path& prefix : {installed, missingMissions, folderNamedLikeFile}) {
    fs::create_directories(prefix / VELMORA_INSTALL_BINDIR);
    fs::create_directories(prefix / VELMORA_INSTALL_DATADIR);
  }
  std::ofstream(installed / VELMORA_INSTALL_DATADIR / "missions.txt") << "\n";
  fs::create_directories(folderNamedLikeFile / VELMORA_INSTALL_DATADIR / "missions.txt");
  const fs::path buildDir = testing::TestFilePath("build") / "server";
  fs::create_directories(buildDir);

  struct Case {
    const char* Name;
    fs::path ProgramDir;
    std::string Expected;
  };
  const Case cases[] = {
      {"installed", installed / VELMORA_INSTALL_BINDIR,
       (installed / VELMORA_INSTALL_DATADIR / "missions.txt").string()},
      {"no missions installed", missingMissions / VELMORA_INSTALL_BINDIR, "server/missions.txt"},
      {"missions.txt is a folder", folderNamedLikeFile / VELMORA_INSTALL_BINDIR,
       "server/missions.txt"},
      {"build folder", buildDir, "server/missions.txt"},
      {"program folder unknown", "", "server/missions.txt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(DefaultMissionsPath(c.ProgramDir.string()), c.Expected);
  }
}

TEST(ServerOptions, HttpTakesAPortWithAnOptionalAddress) {
  EXPECT_EQ(ParseServerOptions({}).Options.HttpPort, -1) << "off by default";
  struct Case {
    std::string value;
    std::string address;  // empty: refused
    int port;
  };
  const std::vector<Case> cases = {
      {"8080", "127.0.0.1", 8080},
      {"0", "127.0.0.1", 0},
      {"65535", "127.0.0.1", 65535},
      {"0.0.0.0:80", "0.0.0.0", 80},
      {"[::1]:8080", "::1", 8080},
      {"[::]:0", "::", 0},
      {"65536", "", 0},
      {"-1", "", 0},
      {"", "", 0},
      {"web:", "", 0},
      {":8080", "", 0},
      {"[::1]", "", 0},
      {"[::1]8080", "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const OptionsParse parse = ParseServerOptions({"--http", c.value});
    if (c.address.empty()) {
      ASSERT_TRUE(parse.Error);
      EXPECT_NE(parse.Error->find("--http"), std::string::npos) << *parse.Error;
      continue;
    }
    ASSERT_FALSE(parse.Error) << *parse.Error;
    EXPECT_EQ(parse.Options.HttpAddress, c.address);
    EXPECT_EQ(parse.Options.HttpPort, c.port);
  }
  EXPECT_TRUE(ParseServerOptions({"--http"}).Error);
  EXPECT_NE(ServerHelpText().find("--http [ADDRESS:]PORT"), std::string::npos);
}

}  // namespace
}  // namespace velmora::server
