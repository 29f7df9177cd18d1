#include <QTest>
#include <SDL.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/controls.h"
#include "tests/ui/ui_test_support.h"
#include "ui/command_line.h"
#include "ui/form_settings.h"
#include "ui/joystick.h"
#include "ui/settings_store.h"

namespace velmora::ui {
namespace {

std::string FileText(const QString& path) {
  std::ifstream in(path.toStdString());
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class SettingsTest : public ::testing::Test {
 protected:
  SettingsTest() { testing::App(); }
  QString Path() const { return QString::fromStdString(testing::TestFilePath("velmora.conf").string()); }
};

TEST_F(SettingsTest, TheFileKeepsEveryPageAndTwoProgramsKeepEachOthersChanges) {
  app::TUserSettings written;
  written.Sound.Voices = 50;
  app::RememberLogin(written, {"sim.example", 64010}, "ひろし");
  std::string error;
  TSettingsStore first(Path()), second(Path());
  ASSERT_TRUE(first.Save(app::AllEntries(written), error)) << error;
  // The second program changes the frame-rate cap after the first wrote.
  app::TUserSettings view;
  view.Fps = 30;
  view.RenderScale = 70;
  ASSERT_TRUE(second.Save(app::ViewEntries(view), error)) << error;
  ASSERT_TRUE(first.Save(app::SoundEntries(written.Sound), error)) << error;

  std::vector<std::string> problems;
  const app::TUserSettings read = TSettingsStore(Path()).Load(problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(read.Sound.Voices, 50);
  EXPECT_EQ(read.Fps, 30);
  EXPECT_EQ(read.RenderScale, 70);
  EXPECT_EQ(read.Handle, "ひろし");
  EXPECT_NE(FileText(Path()).find("[sound]\n"), std::string::npos) << "readable keys by group";
}

TEST_F(SettingsTest, AFlagOverridesItsSettingForTheRunOnly) {
  std::string error;
  ASSERT_TRUE(TSettingsStore(Path()).Save({{"view/fps", "30"}, {"sound/master", "80"},
                                          {"view/render_scale", "60"}, {"view/full_screen", "true"},
                                          {"connection/server", "saved.example:64020"}},
                                         error));
  const std::string before = FileText(Path());
  std::vector<std::string> problems;
  const app::TUserSettings saved = TSettingsStore(Path()).Load(problems);
  auto line = ParseCommandLine(
      {"velmora", "1", "64030", "--fps", "20", "--volume", "10", "--render-scale", "auto"}, error);
  ASSERT_TRUE(line) << error;
  FillFromSettings(*line, saved);
  EXPECT_EQ(line->Fps, 20);
  EXPECT_EQ(line->RenderScale, 0);
  EXPECT_EQ(line->Volume, 10);
  EXPECT_EQ(line->Port, 64030);
  EXPECT_EQ(line->Host, "localhost") << "a port given names the server with the default host";
  auto plain = ParseCommandLine({"velmora"}, error);
  ASSERT_TRUE(plain) << error;
  FillFromSettings(*plain, saved);
  EXPECT_EQ(plain->Fps, 30);
  EXPECT_EQ(plain->RenderScale, 60);
  EXPECT_TRUE(plain->FullScreen);
  EXPECT_EQ(plain->Volume, 80);
  EXPECT_EQ(plain->Host, "saved.example");
  EXPECT_EQ(plain->Port, 64020);
  EXPECT_EQ(FileText(Path()), before) << "nothing of the flags is written";
}

// The keys page: a key bound by pressing it, then a key already used refused.
TEST_F(SettingsTest, ThePageBindsAPressedKeyAndRefusesATakenOne) {
  app::TUserSettings settings;
  TSettingsStore store(Path());
  std::vector<TSettingsPage> changes;
  TFormSettings form(settings, store, nullptr, [&](TSettingsPage page) { changes.push_back(page); });
  QStringList questions;
  form.ConflictQuestion = [&](const QString& text) {
    questions << text;
    return false;
  };
  form.KeyTableChoice->setCurrentIndex(static_cast<int>(app::TKeyTableKind::Train));
  const auto row = [&](app::TAction action) {
    for (int r = 0; r < form.KeyGrid->rowCount(); ++r) {
      if (form.KeyGrid->item(r, 0)->data(Qt::UserRole).toInt() == static_cast<int>(action)) return r;
    }
    return -1;
  };
  form.KeyGrid->setCurrentCell(row(app::TAction::ThrottleUp), 0);
  QTest::mouseClick(form.ButtonBindKey, Qt::LeftButton);
  QTest::keyClick(&form, Qt::Key_W);
  EXPECT_EQ(settings.Keys[app::TKeyTableKind::Train].KeyOf(app::TAction::ThrottleUp), 'W');
  EXPECT_EQ(form.KeyGrid->item(row(app::TAction::ThrottleUp), 1)->text(), "W");
  std::vector<std::string> problems;
  EXPECT_EQ(TSettingsStore(Path()).Load(problems).Keys[app::TKeyTableKind::Train].KeyOf(
                app::TAction::ThrottleUp),
            'W');

  form.KeyGrid->setCurrentCell(row(app::TAction::ThrottleDown), 0);
  QTest::mouseClick(form.ButtonBindKey, Qt::LeftButton);
  QTest::keyClick(&form, Qt::Key_W);
  ASSERT_EQ(questions.size(), 1);
  EXPECT_TRUE(questions[0].contains("推力増加"));
  EXPECT_EQ(settings.Keys[app::TKeyTableKind::Train].KeyOf(app::TAction::ThrottleDown), app::kKeyF2);
  EXPECT_TRUE(form.KeyPrompt->text().contains("変更しませんでした"));
  EXPECT_EQ(changes.size(), 1u) << "the refusal changed nothing";

  // Answered with a swap, the two actions trade keys.
  form.ConflictQuestion = [](const QString&) { return true; };
  QTest::mouseClick(form.ButtonBindKey, Qt::LeftButton);
  QTest::keyClick(&form, Qt::Key_W);
  EXPECT_EQ(settings.Keys[app::TKeyTableKind::Train].KeyOf(app::TAction::ThrottleDown), 'W');
  EXPECT_EQ(settings.Keys[app::TKeyTableKind::Train].KeyOf(app::TAction::ThrottleUp), app::kKeyF2);
  QTest::mouseClick(form.ButtonKeysDefault, Qt::LeftButton);
  EXPECT_EQ(settings.Keys.Tables, app::DefaultKeyBindings().Tables);
}

// A stick plugged in while the program runs is found by the reads of the next
// device scans (the joystick looks every 100 reads, one a tick) and gets the
// mapping saved for its GUID; unplugged, it is simply gone. Reads are counted,
// not timed.
TEST_F(SettingsTest, APluggedStickGetsItsSavedMapping) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
  TSettingsStore store(Path());
  TJoystick joystick;
  joystick.LoadMapping = [&](const std::string& guid, const app::TJoystickMapping& defaults) {
    std::vector<std::string> problems;
    return store.LoadJoystick(guid, defaults, problems);
  };
  EXPECT_FALSE(joystick.Read().Present);

  const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_FLIGHT_STICK, 3, 2, 0);
  ASSERT_GE(index, 0) << SDL_GetError();
  char guid[33];
  SDL_JoystickGetGUIDString(SDL_JoystickGetDeviceGUID(index), guid, sizeof guid);
  app::TJoystickMapping saved = app::DefaultJoystickMapping(2, 0);
  saved[app::TStickAxis::Pitch].Invert = true;
  std::string error;
  ASSERT_TRUE(store.Save(app::JoystickEntries(guid, saved), error));
  SDL_Joystick* stick = SDL_JoystickOpen(index);
  SDL_JoystickSetVirtualAxis(stick, 0, -32768);  // pitch axis full forward
  SDL_JoystickSetVirtualAxis(stick, 2, 32767);   // roll axis full right

  constexpr int kTwoScans = 200;  // reads
  int ticks = 0;
  app::TJoystickReading reading;
  while (!reading.Present && ticks < kTwoScans) {
    reading = joystick.Read();
    ++ticks;
  }
  ASSERT_TRUE(reading.Present) << "not found in " << kTwoScans << " reads";
  EXPECT_EQ(joystick.Open().Guid, guid);
  EXPECT_EQ(reading.Y, 65535u) << "inverted: forward is nose up";
  EXPECT_EQ(reading.X, 65535u);

  SDL_JoystickClose(stick);
  SDL_JoystickDetachVirtual(index);
  EXPECT_FALSE(joystick.Read().Present);
  EXPECT_TRUE(joystick.Open().Guid.empty());
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

}  // namespace
}  // namespace velmora::ui
