#include "ui/command_line.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace velmora::ui {
namespace {

std::optional<TCommandLine> Parse(std::vector<std::string> arguments, std::string* why = nullptr) {
  arguments.insert(arguments.begin(), "velmora");
  std::string error;
  auto line = ParseCommandLine(arguments, error);
  if (why != nullptr) *why = error;
  return line;
}

TEST(CommandLine, DefaultsForAbsentOrEmptyParameters) {
  for (const auto& arguments : {std::vector<std::string>{}, std::vector<std::string>{"", "", ""}}) {
    const auto line = Parse(arguments);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->WorldText, "52566771");
    EXPECT_EQ(line->WorldNo, 52566771);
    EXPECT_EQ(line->Port, 64000);
    EXPECT_EQ(line->Host, "localhost");
  }
  const auto line = Parse({"7", "", "server.example"});
  ASSERT_TRUE(line);
  EXPECT_EQ(line->WorldText, "7");
  EXPECT_EQ(line->WorldNo, 7);
  EXPECT_EQ(line->Port, 64000);
  EXPECT_EQ(line->Host, "server.example");
  // An IPv6 address as it is or in brackets, as HOST:PORT writes it.
  for (const char* host : {"::1", "[::1]"}) EXPECT_EQ(Parse({"", "", host})->Host, "::1") << host;
  for (const char* help : {"-h", "--help"}) EXPECT_TRUE(Parse({help})->Help) << help;
}

TEST(CommandLine, BadParametersAreClearErrors) {
  struct Case {
    std::vector<std::string> Arguments;
    const char* Says;
  };
  const Case cases[] = {{{"abc"}, "parameter 1 (world number) is not an integer: 'abc'"},
                        {{"1", "http"}, "parameter 2 (server port)"},
                        {{"1", "70000"}, "parameter 2 (server port)"},
                        {{"1", "2", "h", "4"}, "too many parameters"},
                        {{"--data"}, "--data needs a value"},
                        {{"--replay"}, "--replay needs a value"},
                        {{"--replay", ""}, "--replay needs a file"},
                        {{"--frobnicate"}, "unknown option '--frobnicate'"},
                        {{"--volume"}, "--volume needs a value"},
                        {{"--volume", "101"}, "--volume takes a whole number 0..100: '101'"},
                        {{"--volume", "-1"}, "--volume takes a whole number 0..100"},
                        {{"--volume", "loud"}, "--volume takes a whole number 0..100"},
                        {{"--fps"}, "--fps needs a value"},
                        {{"--fps", "0"}, "--fps takes a whole number 1..100: '0'"},
                        {{"--fps", "101"}, "--fps takes a whole number 1..100"},
                        {{"--fps", "$10"}, "--fps takes a whole number 1..100"},
                        {{"--render-scale"}, "--render-scale needs a value"},
                        {{"--render-scale", "49"}, "--render-scale takes auto or a whole number 50..100: '49'"},
                        {{"--render-scale", "101"}, "--render-scale takes auto or"},
                        {{"--render-scale", "half"}, "--render-scale takes auto or"}};
  for (const Case& c : cases) {
    std::string why;
    EXPECT_FALSE(Parse(c.Arguments, &why));
    EXPECT_NE(why.find(c.Says), std::string::npos) << why;
  }
}

TEST(CommandLine, OptionsAndToolkitArguments) {
  const auto line = Parse({"--data", "/opt/velmora", "-platform", "offscreen", "--handle", "ace",
                           "-5", "--renderer", "/tmp/r.so", "--version", "--full-screen",
                           "--render-scale", "50"});
  ASSERT_TRUE(line);
  EXPECT_TRUE(line->FullScreen);
  EXPECT_EQ(line->RenderScale, 50);
  EXPECT_FALSE(Parse({})->FullScreen);
  EXPECT_EQ(Parse({"--render-scale", "100", "--render-scale", "auto"})->RenderScale, 0);
  EXPECT_EQ(line->DataDir, "/opt/velmora");
  EXPECT_EQ(line->Handle, "ace");
  EXPECT_EQ(line->RendererPath, "/tmp/r.so");
  EXPECT_TRUE(line->Version);
  EXPECT_EQ(line->WorldNo, -5);
  EXPECT_EQ(line->ToolkitArguments,
            (std::vector<std::string>{"velmora", "-platform", "offscreen"}));
}

TEST(CommandLine, SoundOptions) {
  struct Case {
    std::vector<std::string> Arguments;
    bool Sound;
    int32_t Volume;
  };
  const Case cases[] = {{{}, true, 100},
                        {{"--no-sound"}, false, 100},
                        {{"--volume", "0"}, true, 0},
                        {{"--volume", "100", "--no-sound"}, false, 100}};
  for (const Case& c : cases) {
    const auto line = Parse(c.Arguments);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Sound, c.Sound);
    EXPECT_EQ(line->Volume, c.Volume);
  }
}

TEST(CommandLine, FramesPerSecond) {
  const struct {
    std::vector<std::string> Arguments;
    int32_t Fps;  // 0: the screen's rate
  } cases[] = {{{}, 0}, {{"--fps", "1"}, 1}, {{"--fps", "100"}, 100}, {{"--fps", "25"}, 25}};
  for (const auto& c : cases) {
    const auto line = Parse(c.Arguments);
    ASSERT_TRUE(line);
    EXPECT_EQ(line->Fps, c.Fps);
  }
}

TEST(CommandLine, ReplayFileIsMadeAbsoluteBeforeTheDataFolderIsEntered) {
  const auto relative = Parse({"--replay", "runs/../good.vmreplay", "--data", "/opt/velmora"});
  ASSERT_TRUE(relative);
  const std::string expected = (std::filesystem::current_path() / "good.vmreplay").string();
  EXPECT_EQ(relative->ReplayFile, expected);
  const auto absolute = Parse({"--replay", "/var/tmp/a.vmreplay"});
  ASSERT_TRUE(absolute);
  EXPECT_EQ(absolute->ReplayFile, "/var/tmp/a.vmreplay");
  EXPECT_FALSE(Parse({})->ReplayFile);
}

}  // namespace
}  // namespace velmora::ui
