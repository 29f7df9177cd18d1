#include "app/user_settings.h"

#include <gtest/gtest.h>

#include <map>

#include "app/controls.h"

namespace velmora::app {
namespace {

constexpr const char* kGuid = "03000000de280000ff11000001000000";

// A settings file as its keys and values.
struct TFile {
  std::map<std::string, std::string> Values;
  TSettingsReader Reader() const {
    return [this](const std::string& key) -> std::optional<std::string> {
      const auto found = Values.find(key);
      if (found == Values.end()) return std::nullopt;
      return found->second;
    };
  }
  void Store(const TSettingsEntries& entries) {
    for (const auto& [key, value] : entries) Values[key] = value;
  }
};

TEST(UserSettingsTest, EverySettingReadsBackAsWritten) {
  TUserSettings written;
  ASSERT_EQ(Bind(written.Keys[TKeyTableKind::Train], TAction::ThrottleUp, 'W').Result,
            TBindResult::Bound);
  ASSERT_EQ(Bind(written.Keys[TKeyTableKind::Road], TAction::ViewLeft, 'Q').Result,
            TBindResult::Bound);
  written.Keys[TKeyTableKind::Road].Keys[static_cast<std::size_t>(TAction::Brake)] = 0;  // no key
  written.Sound = {80, 70, 50, 40, 0};
  written.Fps = 30;
  written.FullScreen = true;
  written.RenderScale = 85;
  RememberLogin(written, {"old.example", 64001}, "first");
  RememberLogin(written, {"::1", 64000}, "パイロット");
  written.JoystickDevice = kGuid;
  TJoystickMapping mapping = DefaultJoystickMapping();
  mapping[TStickAxis::Pitch].Invert = true;
  mapping[TStickAxis::Roll].DeadZone = 0.125;
  mapping[TStickAxis::Throttle] = {3, true, 0.05, 0.5};
  mapping.Buttons[4] = TAction::FlapsDown;

  TFile file;
  file.Store(AllEntries(written));
  file.Store(JoystickEntries(kGuid, mapping));
  EXPECT_EQ(file.Values["keys.train/throttle_up"], "W");
  EXPECT_EQ(file.Values["connection/server"], "[::1]:64000");
  std::vector<std::string> problems;
  const TUserSettings read = ReadUserSettings(file.Reader(), problems);
  const TJoystickMapping readMapping =
      ReadJoystickMapping(file.Reader(), kGuid, DefaultJoystickMapping(), problems);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(read.Keys.Tables, written.Keys.Tables);
  EXPECT_EQ(read.Sound.Voices, 50);
  EXPECT_EQ(read.Sound.Traffic, 0);
  EXPECT_EQ(read.Fps, 30);
  EXPECT_TRUE(read.FullScreen);
  EXPECT_EQ(read.RenderScale, 85);
  ASSERT_TRUE(read.Server);
  EXPECT_EQ(read.Server->Host, "::1");
  EXPECT_EQ(read.Handle, "パイロット");
  ASSERT_EQ(read.Recent.size(), 2u);
  EXPECT_EQ(read.Recent[1].Host, "old.example");
  EXPECT_EQ(read.JoystickDevice, kGuid);
  for (int a = 0; a < kStickAxisCount; ++a) {
    const auto& got = readMapping.Axes[static_cast<std::size_t>(a)];
    const auto& want = mapping.Axes[static_cast<std::size_t>(a)];
    EXPECT_EQ(got.Axis, want.Axis);
    EXPECT_EQ(got.Invert, want.Invert);
    EXPECT_EQ(got.DeadZone, want.DeadZone);
    EXPECT_EQ(got.Curve, want.Curve);
  }
  EXPECT_EQ(readMapping.Buttons, mapping.Buttons);
}

// Each bad value falls back to its default alone, with one line naming it;
// a good value beside it is kept.
TEST(UserSettingsTest, ABadValueFallsBackAlone) {
  const std::string stick = std::string("joystick.") + kGuid + "/";
  struct Case {
    std::string Key, Value;
    bool Good;
  };
  const Case cases[] = {
      {"sound/voices", "0", true},        {"sound/voices", "-1", false},
      {"sound/voices", "100", true},      {"sound/voices", "101", false},
      {"sound/voices", "half", false},    {"sound/voices", "50 ", false},
      {"view/fps", "100", true},          {"view/fps", "101", false},
      {"view/render_scale", "50", true},  {"view/render_scale", "49", false},
      {"view/render_scale", "auto", true}, {"view/full_screen", "yes", false},
      {"keys.aircraft/brake", "b", true}, {"keys.aircraft/brake", "F13", false},
      {"keys.aircraft/brake", "F9", false},  // the settings key itself
      {"keys.aircraft/warp", "F10", true},   // a setting of a later version: left alone
      {"connection/server", "host:65535", true}, {"connection/server", "host:65536", false},
      {"connection/handle", "a\tb", false},
      {"joystick/device", "not-a-guid", false},
      {stick + "pitch_dead_zone", "0.5", true},  {stick + "pitch_dead_zone", "0.51", false},
      {stick + "pitch_axis", "7", true},         {stick + "pitch_axis", "8", false},
      {stick + "pitch_curve", "nan", false},     {stick + "pitch_invert", "yes", false},
      {stick + "button31", "gear", true},        {stick + "button31", "eject", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Key + " = " + c.Value);
    TFile file;
    file.Values = {{"sound/master", "40"}, {c.Key, c.Value}};
    std::vector<std::string> problems;
    const TUserSettings read = ReadUserSettings(file.Reader(), problems);
    ReadJoystickMapping(file.Reader(), kGuid, DefaultJoystickMapping(), problems);
    EXPECT_EQ(read.Sound.Master, 40);
    if (c.Good) {
      EXPECT_TRUE(problems.empty());
      continue;
    }
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(c.Key), std::string::npos) << problems[0];
  }
  // Two actions of a table given one key: the second goes back to its own.
  TFile file;
  file.Values = {{"keys.road/brake", "G"}, {"keys.road/full_throttle", "G"}};
  std::vector<std::string> problems;
  const TUserSettings read = ReadUserSettings(file.Reader(), problems);
  EXPECT_EQ(read.Keys[TKeyTableKind::Road].KeyOf(TAction::Brake), 'G');
  EXPECT_EQ(read.Keys[TKeyTableKind::Road].KeyOf(TAction::FullThrottle), kKeyF4);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("keys.road/full_throttle"), std::string::npos);
}

}  // namespace
}  // namespace velmora::app
