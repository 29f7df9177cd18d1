#include "ui/form_main.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/controls.h"
#include "app/protocol.h"
#include "app/replay.h"
#include "app/replay_entry.h"
#include "app/reset.h"
#include "app/window_layout.h"
#include "net/text_encoding.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/loopback_server.h"
#include "tests/support/test_vehicles.h"
#include "tests/ui/ui_test_support.h"
#include "ui/form_settings.h"

namespace velmora::ui {
namespace {

class FormMainTest : public ::testing::Test {
 protected:
  FormMainTest() {
    TStartOptions options;
    options.Headless = true;
    options.OpenSocket = false;
    form = std::make_unique<TFormMain>(renderer, help, options);
    testing::FillTestForms(form->State());
  }

  void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers);
    QApplication::sendEvent(target, &release);
  }

  void ShowAndFocus(QWidget* widget) {
    form->show();
    form->activateWindow();
    widget->setFocus();
    QApplication::processEvents();
  }

  // The application exists before the first widget.
  struct TApplicationFirst {
    TApplicationFirst() { testing::App(); }
  } applicationFirst;
  testing::FakeRenderer renderer;
  TFormHelp help;
  std::unique_ptr<TFormMain> form;
};

// Only the 3D view takes the renderer's RGBA frames; the instrument canvases
// paint in the painter's native format and refuse a frame.
TEST_F(FormMainTest, OnlyTheViewTakesRendererFrames) {
  EXPECT_EQ(form->ListBoxView->Image().format(), QImage::Format_RGB32);
  const uint8_t red[4 * 2] = {255, 0, 0, 255, 255, 0, 0, 255};
  form->ListBoxView->TakeFrame(red, 2, 1, 8);
  EXPECT_EQ(form->ListBoxView->Image().pixel(1, 0), qRgb(255, 0, 0));
  for (TCanvasWidget* canvas :
       {form->ListBoxPFD, form->ListBoxIndicator, form->ListBoxNavi, form->ListBoxPower}) {
    EXPECT_EQ(canvas->Image().format(), QImage::Format_RGB32) << canvas->objectName().toStdString();
    canvas->TakeFrame(red, 2, 1, 8);
    EXPECT_EQ(canvas->Image().pixel(1, 0), qRgb(0, 0, 0)) << canvas->objectName().toStdString();
  }
}

// The view shows exactly what painting the overlay on the renderer's RGBA
// frame itself shows: every channel value, rows of a width that is no
// multiple of the copy's stride, and the overlay's strokes and text.
TEST(CanvasWidgetFrame, ShowsTheFrameAndOverlayAsPaintedOnRgba) {
  testing::App();
  constexpr int kWidth = 37, kHeight = 9, kStride = kWidth * 4 + 8;
  std::vector<uint8_t> frame(static_cast<std::size_t>(kStride) * kHeight, 0);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      uint8_t* p = &frame[static_cast<std::size_t>(y * kStride + x * 4)];
      const int i = y * kWidth + x;
      p[0] = static_cast<uint8_t>(i * 7), p[1] = static_cast<uint8_t>(255 - i * 3);
      p[2] = static_cast<uint8_t>(i * 13 + 1), p[3] = 255;
    }
  }
  const auto overlay = [](cockpit::TCanvas& c) {
    c.SetPen(0xFF00FF, 1);
    c.Line(1, 8, 30, 1);
    const cockpit::TPixel path[] = {{2, 2}, {12, 6}, {35, 3}};
    c.Polyline(path, 3);
    c.SetBrush(0, true);
    c.SetPen(0x00FFFF, 2);
    c.Rectangle(20, 1, 33, 8);
    c.SetFont(0xFFFFFF, 8);
    c.Text(3, 0, "AB");
  };

  QImage rgba(frame.data(), kWidth, kHeight, kStride, QImage::Format_RGBA8888);
  rgba = rgba.copy();
  TQtCanvas reference(rgba);
  overlay(reference);
  QImage shown(kWidth, kHeight, QImage::Format_RGB32);
  QPainter(&shown).drawImage(0, 0, rgba);

  TCanvasWidget view(nullptr, "view", QRect(0, 0, kWidth, kHeight), true);
  view.TakeFrame(frame.data(), kWidth, kHeight, kStride);
  overlay(view.Canvas());
  EXPECT_EQ(view.Image(), shown);
}

TEST_F(FormMainTest, ClientAreaAndComponentGeometry) {
  EXPECT_EQ(form->size(), QSize(1016, 741));
  EXPECT_EQ(form->windowTitle(), "Velmora");
  struct Case {
    QWidget* Widget;
    const char* Name;
    QRect Geometry;
    bool Hidden;
  };
  const Case cases[] = {
      {form->ListBoxView, "ListBoxView", {0, 0, 1017, 577}, false},
      {form->StringGridMission, "StringGridMission", {0, 580, 233, 161}, false},
      {form->ListBoxPFD, "ListBoxPFD", {240, 580, 265, 161}, true},
      {form->ListBoxIndicator, "ListBoxIndicator", {288, 588, 145, 145}, true},
      {form->ListBoxNavi, "ListBoxNavi", {512, 580, 161, 161}, true},
      {form->StringGridDest, "StringGridDest", {512, 580, 161, 161}, false},
      {form->StringGridVideo, "StringGridVideo", {512, 580, 161, 161}, false},
      {form->ListBoxPower, "ListBoxPower", {680, 580, 49, 161}, true},
      {form->MemoMessage, "MemoMessage", {736, 580, 280, 137}, false},
      {form->EditChatInput, "EditChatInput", {736, 719, 239, 20}, false},
      {form->ButtonChat, "ButtonChat", {976, 718, 40, 23}, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    EXPECT_EQ(c.Widget->objectName(), c.Name);
    EXPECT_EQ(c.Widget->geometry(), c.Geometry) << c.Name;
    EXPECT_EQ(c.Widget->isHidden(), c.Hidden) << c.Name;
    // Tab order: each component hands the focus to the next.
    if (i + 1 < std::size(cases)) {
      QWidget* next = c.Widget->nextInFocusChain();
      while (next != nullptr && next->parentWidget() != form.get()) next = next->nextInFocusChain();
      EXPECT_EQ(next, cases[i + 1].Widget) << c.Name;
    }
  }
  EXPECT_EQ(form->ButtonChat->text(), "発言");
  EXPECT_TRUE(form->ButtonChat->isDefault());
  EXPECT_TRUE(form->MemoMessage->isReadOnly());
  EXPECT_EQ(form->font().family(), "Noto Sans CJK JP");
  EXPECT_EQ(form->font().pixelSize(), 12);
  EXPECT_EQ(form->StringGridMission->columnWidth(0), 233);
  EXPECT_EQ(help.windowTitle(), "ヘルプ");
  EXPECT_EQ(help.size(), QSize(321, 442));
  EXPECT_TRUE(help.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(help.ButtonClose->text(), "閉じる");
  EXPECT_EQ(help.MemoHelp->toPlainText().split('\n').size(), HelpLines().size());
  EXPECT_EQ(
      HelpLines().filter("下矢印キー：機首上げ").size() + HelpLines().filter("Ctrl＋L").size(), 2);
}

TEST_F(FormMainTest, HelpListShowsEveryEntryOnOneVisualLine) {
  // The help form is a window of its own: it gets the form's font through
  // the application, and its list the monospaced face of the same family.
  help.show();
  QApplication::processEvents();
  EXPECT_EQ(QApplication::font().family(), "Noto Sans CJK JP");
  EXPECT_EQ(help.font().family(), "Noto Sans CJK JP");
  const QFont listFont = help.MemoHelp->font();
  EXPECT_EQ(QFontInfo(listFont).family(), kHelpListFamily);
  const QFontMetricsF metrics(listFont);
  // Advances are kept in 1/64 px: two roundings apart at most.
  constexpr double kAdvanceTol = 2.0 / 64;  // px
  EXPECT_NEAR(metrics.horizontalAdvance("　"), 2 * metrics.horizontalAdvance(" "), kAdvanceTol)
      << "a full-width character is two half-width ones";
  EXPECT_EQ(help.MemoHelp->lineWrapMode(), QPlainTextEdit::NoWrap);

  // Each line, laid out as the list would wrap it at its visible width,
  // takes exactly one line.
  const qreal width = help.MemoHelp->viewport()->width() -
                      2 * help.MemoHelp->document()->documentMargin();
  for (const QString& text : HelpLines()) {
    QTextLayout layout(text, listFont);
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
      line.setLineWidth(width);
      ++lines;
    }
    layout.endLayout();
    EXPECT_EQ(lines, 1) << text.toStdString() << " in " << width << " px";
  }
  help.close();
}

TEST_F(FormMainTest, HelpBeforeAVehicleAndNoOtherKey) {
  Key(form->ListBoxView, Qt::Key_F4);
  EXPECT_EQ(form->State().Throttle, 0);
  EXPECT_FALSE(help.isVisible());
  Key(form->ListBoxView, Qt::Key_F8);
  EXPECT_TRUE(help.isVisible());
  help.ButtonClose->click();
  EXPECT_FALSE(help.isVisible());
}

// The help opens beside the main window where the screen has room, right first, else at the
// screen's left level with the top of the 3D view (30 px below the frame's, as under a title bar).
TEST(HelpPlace, BesideTheWindowElseOverTheViewTop) {
  // Screen width, the frame's left: the help's corner.
  const int rows[][4] = {
      {1920, 583, 1599, 100}, {1920, 584, 263, 100}, {1280, 321, 0, 100}, {1280, 320, 0, 130}};
  for (const auto& r : rows) {
    const QRect frame(r[1], 100, 1016, 771);
    EXPECT_EQ(HelpPlace({0, 0, r[0], 1024}, frame, frame.adjusted(0, 30, 0, 0), {321, 442}),
              QPoint(r[2], r[3]))
        << r[1];
  }
}

TEST_F(FormMainTest, KeysInTheChatLineReachTheForm) {
  state::TMainState& s = form->State();
  testing::PlaceOwn(s, vehicle::kKindRoad, testing::kCar);
  s.ThrottleMax = 6;
  ShowAndFocus(form->EditChatInput);
  Key(form->EditChatInput, Qt::Key_F4);
  EXPECT_EQ(s.Throttle, 6);
  // Text still goes into the line.
  QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(form->EditChatInput, &letter);
  EXPECT_EQ(form->EditChatInput->text(), "a");
}

// F9 opens the settings; a key bound there drives its action from every
// control but the chat line, where a letter stays text.
TEST_F(FormMainTest, F9OpensTheSettingsAndABoundLetterDrivesItsAction) {
  state::TMainState& s = form->State();
  testing::PlaceOwn(s, vehicle::kKindRoad, testing::kCar);
  s.ThrottleMax = 6;
  ShowAndFocus(form->ListBoxView);
  Key(form->ListBoxView, Qt::Key_F9);
  TFormSettings* settings = form->FormSettings();
  ASSERT_NE(settings, nullptr);
  EXPECT_TRUE(settings->isVisible());
  settings->KeyTableChoice->setCurrentIndex(static_cast<int>(app::TKeyTableKind::Road));
  for (int row = 0; row < settings->KeyGrid->rowCount(); ++row) {
    if (settings->KeyGrid->item(row, 0)->data(Qt::UserRole).toInt() ==
        static_cast<int>(app::TAction::FullThrottle)) {
      settings->KeyGrid->setCurrentCell(row, 0);
    }
  }
  settings->StartBinding();
  settings->BindKey('W');
  settings->close();

  Key(form->ListBoxView, Qt::Key_F4);
  EXPECT_EQ(s.Throttle, 0) << "the key it replaced does nothing";
  Key(form->ListBoxView, Qt::Key_W);
  EXPECT_EQ(s.Throttle, 6);
  EXPECT_TRUE(help.MemoHelp->toPlainText().contains("推力全開　・・・・・　Wキー"));
  s.Throttle = 0;
  ShowAndFocus(form->EditChatInput);
  QKeyEvent letter(QEvent::KeyPress, Qt::Key_W, Qt::NoModifier, "w");
  QApplication::sendEvent(form->EditChatInput, &letter);
  EXPECT_EQ(form->EditChatInput->text(), "w");
  EXPECT_EQ(s.Throttle, 0);
}

TEST_F(FormMainTest, ArrowKeysSteerAndLeaveTheFocus) {
  state::TMainState& s = form->State();
  testing::PlaceOwn(s, vehicle::kKindRoad, testing::kCar);
  s.MissionRowCount = 3;
  s.MissionRow = 1;
  form->ApplyModel();
  ShowAndFocus(form->StringGridMission);
  ASSERT_EQ(QApplication::focusWidget(), form->StringGridMission);
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(form->StringGridMission, &down);
  EXPECT_EQ(s.PitchInput, 1);
  EXPECT_EQ(form->StringGridMission->currentRow(), 1);
  EXPECT_EQ(QApplication::focusWidget(), form->StringGridMission);
  QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::ShiftModifier);
  QApplication::sendEvent(form->StringGridMission, &right);
  EXPECT_EQ(s.ViewDirection, 90);
  EXPECT_EQ(QApplication::focusWidget(), form->StringGridMission);
}

TEST_F(FormMainTest, DestinationGridActsOnlyWhileItHasTheFocus) {
  state::TMainState& s = form->State();
  world::TWorld world;
  world::TRunwayInfo runway(0, -1500, 0, 1500, 0, 45, 1000, 0, 0, "北", 0);
  world.Destinations[0] = &runway;
  world.DestinationCount = 1;
  world.DestinationPanel.RowCount = 4;
  world.DestinationPanel.Rows = {"行先を選択してください。", "・北", "・行先を指定しない", "・そのまま"};
  s.World = &world;
  testing::PlaceOwn(s, vehicle::kKindNone, testing::kAirlinerGearDown);
  s.Start = s.Own;  // practice mode
  s.Panels.Dest = true;
  s.DestRow = 2;
  form->ApplyModel();

  // A click while another control has the focus (a row the program selects) does nothing.
  ShowAndFocus(form->EditChatInput);
  form->StringGridDest->setCurrentCell(1, 0);
  emit form->StringGridDest->cellClicked(1, 0);
  EXPECT_EQ(s.SelectedDestination, -1);
  EXPECT_EQ(s.Own.Kind, vehicle::kKindNone);

  // The user's click: placed on the approach, the navigation display in the
  // grid's place, the focus back in the chat line.
  ShowAndFocus(form->StringGridDest);
  ASSERT_EQ(QApplication::focusWidget(), form->StringGridDest);
  emit form->StringGridDest->cellClicked(1, 0);
  EXPECT_EQ(s.SelectedDestination, 0);
  EXPECT_EQ(s.Own.Kind, vehicle::kKindAircraft);
  EXPECT_TRUE(form->StringGridDest->isHidden());
  EXPECT_FALSE(form->ListBoxNavi->isHidden());
  EXPECT_EQ(QApplication::focusWidget(), form->EditChatInput);
  EXPECT_EQ(form->StringGridDest->item(2, 0)->text(), "・行先の指定を解除する");
  EXPECT_TRUE(form->MemoMessage->toPlainText().contains("自分> 行先に北を指定しました。"));

  // Cancelling in practice: the grid again, the cockpit canvases black.
  form->ListBoxPFD->Image().fill(Qt::white);
  s.Panels.Navi = false;
  s.Panels.Dest = true;
  form->ApplyModel();
  ShowAndFocus(form->StringGridDest);
  form->StringGridDest->setCurrentCell(2, 0);
  emit form->StringGridDest->cellClicked(2, 0);
  EXPECT_EQ(s.Own.Kind, vehicle::kKindNone);
  EXPECT_FALSE(form->StringGridDest->isHidden());
  EXPECT_EQ(form->ListBoxPFD->Image().pixelColor(10, 10), QColor(Qt::black));
  s.World = nullptr;
}

TEST_F(FormMainTest, ResetRoutinePanelsShowOnTheWidgets) {
  state::TMainState& s = form->State();
  struct Case {
    int32_t Type;
    bool Pfd, Indicator, Navi, Power;
  };
  const Case cases[] = {{12, true, true, true, true},
                        {30, false, true, true, true},
                        {0, false, false, false, false}};
  for (const Case& c : cases) {
    app::ResetRoutine(s, c.Type, false, 0);
    // Without placing, the navigation display and the destinations stay hidden.
    form->ApplyModel();
    EXPECT_EQ(!form->ListBoxPFD->isHidden(), c.Pfd) << c.Type;
    EXPECT_EQ(!form->ListBoxIndicator->isHidden(), c.Indicator) << c.Type;
    EXPECT_FALSE(!form->ListBoxNavi->isHidden()) << c.Type;
    EXPECT_EQ(!form->ListBoxPower->isHidden(), c.Power) << c.Type;
    EXPECT_TRUE(form->StringGridDest->isHidden()) << c.Type;
    s.Panels.Navi = c.Navi;
    form->ApplyModel();
    EXPECT_EQ(!form->ListBoxNavi->isHidden(), c.Navi) << c.Type;
  }
}

TEST_F(FormMainTest, StartUpLoadsTheInstallation) {
  const auto folder = testing::WriteSmallInstallation();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder.string())));
  TStartOptions options;
  options.Headless = true;
  options.OpenSocket = false;
  options.CommandLine.WorldText = "7";
  options.CommandLine.WorldNo = 7;
  TFormMain started(renderer, help, options);
  ASSERT_TRUE(started.FormShow());
  const state::TMainState& s = started.State();
  EXPECT_EQ(s.WorldNo, 7);
  EXPECT_EQ(s.MessagePrefix, "7;20;1;");
  EXPECT_EQ(s.Forms[20].Name, "car");
  ASSERT_NE(s.World, nullptr);
  EXPECT_EQ(s.World->Objects.Count(), 1);
  EXPECT_EQ(started.TimerInterval->interval(), 10);
  EXPECT_FALSE(started.TimerInterval->isActive());
  EXPECT_EQ(started.TimerInterval->timerType(), Qt::PreciseTimer);
  EXPECT_EQ(started.StringGridVideo->rowCount(), 8);
  EXPECT_EQ(started.StringGridVideo->item(2, 0)->text(), "・停止");
  EXPECT_EQ(started.StringGridVideo->currentRow(), 2);
  EXPECT_EQ(started.StringGridMission->rowCount(), 1);
  EXPECT_EQ(started.ExitCode(), 0);
}

// A saved run of a car: frames with x = 0, 1, 2, … m, user 5.
app::TReplayRecording CarRun(int frames) {
  app::TReplayRecording r;
  for (int i = 0; i < frames; ++i) {
    vehicle::TVehicleState car;
    car.UserNo = 5;
    car.FormNo = testing::kCar;
    car.X = i;
    state::TReplayEntry e{};
    app::StoreEntry(e, car, 0, 0);
    r.Entries.push_back(e);
  }
  return r;
}

TEST_F(FormMainTest, AReplayFilePlaysWithoutAServer) {
  const auto folder = testing::WriteSmallInstallation();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder.string())));
  const auto file = folder / "run.vmreplay";
  ASSERT_EQ(app::SaveReplayFile(file.string(), CarRun(200)), "");
  TStartOptions options;
  options.Headless = true;
  options.CommandLine.ReplayFile = file.string();
  TFormMain started(renderer, help, options);
  started.show();
  ASSERT_TRUE(started.FormShow());
  state::TMainState& s = started.State();
  EXPECT_EQ(started.ClientSocket->state(), QAbstractSocket::UnconnectedState);
  EXPECT_EQ(s.ReplayMode, app::kReplayPlay);
  EXPECT_TRUE(started.TimerInterval->isActive());
  EXPECT_FALSE(started.StringGridVideo->isHidden());
  ASSERT_EQ(started.StringGridVideo->rowCount(), 9);
  EXPECT_EQ(started.StringGridVideo->item(8, 0)->text(), "・カメラ切替え");
  EXPECT_EQ(started.StringGridVideo->currentRow(), 6);

  // The tick plays the frames: the car moves along x.
  testing::Await([&] { return s.Own.X >= 3; }, 30000);
  EXPECT_GE(s.Own.X, 3);
  EXPECT_EQ(s.Own.FormNo, testing::kCar);

  // The camera row cycles the camera and keeps the mode's row.
  started.StringGridVideo->setFocus();
  const int32_t camera = s.CameraNo;
  started.StringGridVideo->setCurrentCell(8, 0);
  started.StringGridVideoClick();
  EXPECT_EQ(s.CameraNo, camera % 4 + 1);
  EXPECT_EQ(started.StringGridVideo->currentRow(), 6);

  // Stop: the camera row goes, the replay panel stays.
  started.StringGridVideo->setCurrentCell(2, 0);
  started.StringGridVideoClick();
  EXPECT_EQ(s.ReplayMode, app::kReplayStop);
  EXPECT_EQ(started.StringGridVideo->rowCount(), 8);
  EXPECT_FALSE(started.StringGridVideo->isHidden());
  started.close();
}

TEST_F(FormMainTest, ABadReplayFileIsAClearErrorAndNoStart) {
  const auto folder = testing::WriteSmallInstallation();
  ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder.string())));
  const auto file = testing::WriteTestFile("cut.vmreplay", std::string("VMREPLAY\x01\0\0", 11));
  TStartOptions options;
  options.Headless = true;
  options.CommandLine.ReplayFile = file.string();
  TFormMain started(renderer, help, options);
  EXPECT_FALSE(started.FormShow());
  ASSERT_FALSE(started.ErrorsShown().empty());
  EXPECT_EQ(started.ErrorsShown().front(),
            "リプレイファイル " + file.string() + " を再生できません。");
  EXPECT_EQ(started.ExitCode(), 1);

  // A type the installation lacks.
  app::TReplayRecording other = CarRun(2);
  other.Entries[1][1] = 12;
  const auto fighter = folder / "fighter.vmreplay";
  ASSERT_EQ(app::SaveReplayFile(fighter.string(), other), "");
  options.CommandLine.ReplayFile = fighter.string();
  TFormMain second(renderer, help, options);
  EXPECT_FALSE(second.FormShow());
  ASSERT_FALSE(second.ErrorsShown().empty());
  EXPECT_EQ(second.ErrorsShown().front(),
            "リプレイファイル " + fighter.string() + " を再生できません。");
}

TEST_F(FormMainTest, CtrlSSavesTheRingIntoTheDataFolder) {
  const auto home = testing::TestFilePath("xdg");
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.string()));
  state::TMainState& s = form->State();
  app::OpenReplay(s, CarRun(30), 0);
  ShowAndFocus(form->EditChatInput);
  Key(form->EditChatInput, Qt::Key_S, Qt::ControlModifier);
  qunsetenv("XDG_DATA_HOME");
  ASSERT_FALSE(s.MessageLog.empty());
  const std::string prefix = "自分> 録画を保存しました: " + (home / "velmora/replays/velmora-").string();
  ASSERT_EQ(s.MessageLog.back().rfind(prefix, 0), 0u) << s.MessageLog.back();
  const std::string path = s.MessageLog.back().substr(s.MessageLog.back().find(home.string()));
  const app::TReplayLoadResult saved = app::LoadReplayFile(path);
  ASSERT_TRUE(saved.Recording) << saved.Error;
  EXPECT_EQ(saved.Recording->Entries, CarRun(30).Entries);
  EXPECT_EQ(form->MemoMessage->toPlainText().toStdString().find("録画を保存しました") != std::string::npos,
            true);
  EXPECT_TRUE(form->EditChatInput->text().isEmpty());  // the key typed nothing
}

// A program against a server that the test plays on loopback.
class ScriptedServerTest : public FormMainTest {
 protected:
  // Starts the program; it connects and sends its login as "tester".
  void Start() {
    ASSERT_TRUE(server.Listening());
    const auto folder = testing::WriteSmallInstallation();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(folder.string())));
    TStartOptions options;
    options.Headless = true;
    options.CommandLine.Host = "127.0.0.1";
    options.CommandLine.Port = server.Port();
    options.CommandLine.Handle = "tester";
    options.ReloginQuery = reloginQuery;
    program = std::make_unique<TFormMain>(renderer, help, options);
    ASSERT_TRUE(program->FormShow());
    ASSERT_TRUE(Await([&] { return server.HasReceived("tester"); }));
  }
  // Starts the program and logs it in as user 7.
  void LogIn() {
    Start();
    if (HasFatalFailure()) return;
    Say("52566771;30;7;3;\n");
    ASSERT_TRUE(Await([&] { return program->State().Own.UserNo == 7; }));
  }
  // Sends UTF-8 text in CP932, in one write.
  void Say(const std::string& utf8) { server.Say(net::Utf8ToCp932(utf8).Text); }
  static bool Await(const std::function<bool()>& condition, int patienceMs = kPatience) {
    return testing::Await(condition, patienceMs);
  }
  // How many lines of the memo hold the text.
  int MemoLinesWith(const QString& text) const {
    return static_cast<int>(program->MemoMessage->toPlainText().split('\n').filter(text).size());
  }

  static constexpr int kPatience = 30000;  // ms before a step that never comes is given up
  testing::ScriptedServer server;
  std::unique_ptr<TFormMain> program;
  std::function<bool(const std::string&)> reloginQuery;  // the user at the lost connection's box
};

TEST_F(ScriptedServerTest, LoginAndChatOverLoopback) {
  Start();
  EXPECT_EQ(server.Received().rfind("52566771;20;1;30;guest\ttovel\t", 0), 0u) << server.Received();

  // The login reply: user 7 in room 3; the program answers with an empty state.
  Say("52566771;30;7;3;\n");
  ASSERT_TRUE(Await([&] { return server.HasReceived("40;0;"); }));
  EXPECT_EQ(program->State().Own.UserNo, 7);
  EXPECT_TRUE(help.isVisible());

  server.ClearReceived();
  program->EditChatInput->setText("hello\tthere");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(program->EditChatInput, &enter);
  EXPECT_TRUE(program->EditChatInput->text().isEmpty());
  program->ButtonChatClick();
  ASSERT_TRUE(Await([&] { return server.HasReceived("20;7;3;\t"); }));
  EXPECT_EQ(server.Received(), "52566771;20;1;20;7;3;hello there\t52566771;20;1;20;7;3;\t");
  program->close();
  EXPECT_TRUE(program->Closed());
}

// 200 refusals at once: one box, the other 199 in the log.
TEST_F(ScriptedServerTest, AFloodOfRefusalsOpensOneBox) {
  LogIn();
  std::string flood;
  for (int i = 0; i < 200; ++i) flood += "52566771;10;拒否 " + std::to_string(i) + "\t\n";
  Say(flood);
  ASSERT_TRUE(Await([&] { return MemoLinesWith("拒否 ") == 199; })) << MemoLinesWith("拒否 ");
  EXPECT_EQ(program->ErrorsShown(), std::vector<std::string>{"拒否 0"});
  EXPECT_FALSE(program->Closed());
}

// A server that stops answering without closing: the log says so once, and
// its next message lifts the watch.
TEST_F(ScriptedServerTest, ASilentServerIsNamedInTheLog) {
  LogIn();
  const QString silent = "サーバーからの応答がありません。";
  ASSERT_TRUE(Await([&] { return MemoLinesWith(silent) == 1; }, app::kServerSilenceMs + kPatience));
  Say("52566771;20;server\tまだいます\t\n");
  ASSERT_TRUE(Await([&] { return MemoLinesWith("まだいます") == 1; }));
  EXPECT_FALSE(program->State().ServerSilent);
  EXPECT_EQ(MemoLinesWith(silent), 1);
}

// The server goes away in play and comes back on its port: the program stays
// open, and the box logs it in again with the same handle. An attempt while
// the server is still down offers the box again.
TEST_F(ScriptedServerTest, AServerRestartedOnItsPortIsReachedByLoggingInAgain) {
  std::vector<std::string> offered;
  reloginQuery = [&](const std::string& text) {
    offered.push_back(text);
    return offered.size() < 2 || server.Restart();  // the second time the server is back
  };
  LogIn();
  Say("52566771;40;100;5000;0;0;0;\n");  // the first positions: in play
  ASSERT_TRUE(Await([&] { return program->State().TimerEnabled; }));
  server.Stop();
  ASSERT_TRUE(Await([&] { return server.HasReceived("tester"); })) << offered.size();
  Say("52566771;30;8;3;\n");
  ASSERT_TRUE(Await([&] { return program->State().Own.UserNo == 8; }));
  ASSERT_EQ(offered.size(), 2u) << "the first attempt found the port closed";
  EXPECT_EQ(offered[0], "通信が切断されました。");
  EXPECT_FALSE(program->Closed());
}

// The memo keeps the log's last lines as the log does.
TEST_F(FormMainTest, TheMemoKeepsTheLastLogLines) {
  state::TMainState& s = form->State();
  for (std::size_t i = 1; i <= state::kMaxLogLines + 1; ++i) s.Log("line " + std::to_string(i));
  form->ApplyModel();
  const QTextDocument* memo = form->MemoMessage->document();
  EXPECT_EQ(static_cast<std::size_t>(memo->blockCount()), state::kMaxLogLines);
  EXPECT_EQ(memo->firstBlock().text(), "line 2");
  EXPECT_EQ(memo->lastBlock().text(), "line " + QString::number(state::kMaxLogLines + 1));
}

// The memo shows each new line unless the user scrolled up, also when its scroll bar appears
// and narrows lines that wrap.
TEST_F(FormMainTest, TheMemoFollowsNewLinesUnlessScrolledUp) {
  form->show();
  QScrollBar* bar = form->MemoMessage->verticalScrollBar();
  const auto lastLineShown = [&](const std::string& line) {  // the memo scrolled to its end
    form->State().Log(line);
    form->ApplyModel();
    QApplication::processEvents();
    return bar->value() == bar->maximum();
  };
  std::string line = "教官> ああああああああああああ。";  // wider each time
  for (int i = 0; i < 12; ++i) EXPECT_TRUE(lastLineShown(line.insert(8, "あ"))) << i;
  bar->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_FALSE(lastLineShown("GPWS> 40"));
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_TRUE(lastLineShown("GPWS> 30"));
}

TEST_F(FormMainTest, CtrlMWithoutSoundSaysSoAndTypesNothing) {
  ShowAndFocus(form->EditChatInput);
  ASSERT_FALSE(form->SoundOutput().IsOpen());  // never started: no sound
  Key(form->EditChatInput, Qt::Key_M, Qt::ControlModifier);
  ASSERT_FALSE(form->State().MessageLog.empty());
  EXPECT_EQ(form->State().MessageLog.back(),
            "サウンドは使えません（--no-sound か、音声装置がありません）。");
  EXPECT_TRUE(form->EditChatInput->text().isEmpty());
}

// An instrument canvas is painted again only when its picture changed.
// At each window size the components lie where the layout puts them, the
// canvases have the screen's pixels under them while their drawing keeps its
// own size, the renderer is asked for frames of the view's pixels (so they
// take the plain copy), and a click at the centre of a mission row chooses
// it. The test also runs at 150 % and 200 % (QT_SCALE_FACTOR, in the CMake
// list), where the same screens give smaller logical windows.
TEST_F(FormMainTest, LayoutAndAClickAtEverySize) {
  state::TMainState& s = form->State();
  s.MissionFixedRows = 1;
  s.MissionRowCount = 5;
  s.MissionCells = {"ミッション", " 1", " 2", " 3", ""};
  s.MissionRow = 4;
  form->ApplyModel();
  const double dpr = form->devicePixelRatioF();
  const auto pixels = [dpr](const QWidget* w) { return (QSizeF(w->size()) * dpr).toSize(); };
  const auto rect = [](const app::TRect& r) { return QRect(r.X, r.Y, r.Width, r.Height); };
  for (const QSize screen : {QSize(1016, 741), QSize(1920, 1080), QSize(3840, 2160)}) {
    SCOPED_TRACE(std::to_string(screen.width()) + " at " + std::to_string(dpr));
    form->resize((QSizeF(screen) / dpr).toSize());
    form->show();
    QApplication::processEvents();
    const app::TWindowLayout l = app::LayoutWindow(form->width(), form->height());
    const std::pair<QWidget*, app::TRect> places[] = {
        {form->ListBoxView, l.View},      {form->StringGridMission, l.Mission},
        {form->ListBoxPFD, l.PFD},        {form->ListBoxIndicator, l.Indicator},
        {form->ListBoxNavi, l.Navi},      {form->StringGridDest, l.Navi},
        {form->StringGridVideo, l.Navi},  {form->ListBoxPower, l.Power},
        {form->MemoMessage, l.Memo},      {form->EditChatInput, l.ChatInput},
        {form->ButtonChat, l.ChatButton}};
    for (const auto& [widget, place] : places) {
      EXPECT_EQ(widget->geometry(), rect(place)) << widget->objectName().toStdString();
    }
    for (TCanvasWidget* canvas :
         {form->ListBoxView, form->ListBoxPFD, form->ListBoxIndicator, form->ListBoxPower}) {
      EXPECT_EQ(canvas->Image().size(), pixels(canvas)) << canvas->objectName().toStdString();
    }
    EXPECT_EQ(form->ListBoxPFD->Canvas().Width(), 265);
    EXPECT_EQ(form->ListBoxPFD->Canvas().Height(), 161);
    EXPECT_EQ(form->ListBoxView->Canvas().Width(), l.View.Width);
    EXPECT_EQ(form->RenderSize(), form->ListBoxView->Image().size());

    QTableWidget* grid = form->StringGridMission;
    ShowAndFocus(grid);
    const QPoint centre = grid->visualRect(grid->model()->index(2, 0)).center();
    QMouseEvent press(QEvent::MouseButtonPress, centre, grid->viewport()->mapToGlobal(centre),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, grid->viewport()->mapToGlobal(centre),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(grid->viewport(), &press);
    QApplication::sendEvent(grid->viewport(), &release);
    EXPECT_EQ(s.MissionRow, 2);
    EXPECT_EQ(app::MissionForRow(s, s.MissionRow), 2);
    s.MissionRow = 4;
    form->ApplyModel();
  }
}

// A frame smaller than the view fills it, scaled up smoothly: a frame red
// on its left half and blue on its right gives red and blue out to the
// edges and two blended columns where pixel centres fall between the halves.
TEST(CanvasWidgetFrame, AHalfSizeFrameFillsTheViewSmoothly) {
  testing::App();
  constexpr int kWidth = 20, kHeight = 10;  // px, the frame: half the view
  std::vector<uint8_t> frame(static_cast<std::size_t>(kWidth * kHeight * 4));
  for (int i = 0; i < kWidth * kHeight; ++i) {
    const bool left = i % kWidth < kWidth / 2;
    uint8_t* p = &frame[static_cast<std::size_t>(i * 4)];
    p[0] = left ? 255 : 0, p[1] = 0, p[2] = left ? 0 : 255, p[3] = 255;
  }
  TCanvasWidget view(nullptr, "view", QRect(0, 0, 2 * kWidth, 2 * kHeight), true);
  view.TakeFrame(frame.data(), kWidth, kHeight, kWidth * 4);
  ASSERT_EQ(view.Image().size(), QSize(2 * kWidth, 2 * kHeight));
  // Column 19 samples the frame at x = 9.25: a quarter of the way to blue
  // (weight 64 of 256); column 20 at 9.75.
  for (int y = 0; y < 2 * kHeight; ++y) {
    for (int x = 0; x < 2 * kWidth; ++x) {
      const QRgb expected = x < 19 ? qRgb(255, 0, 0)
                            : x == 19 ? qRgb(191, 0, 63)
                            : x == 20 ? qRgb(63, 0, 191)
                                      : qRgb(0, 0, 255);
      ASSERT_EQ(view.Image().pixel(x, y), expected) << x << ", " << y;
    }
  }
  // The same frame again is a still picture; another pixel ends it.
  EXPECT_FALSE(view.FrameRepeated());
  view.TakeFrame(frame.data(), kWidth, kHeight, kWidth * 4);
  EXPECT_TRUE(view.FrameRepeated());
  frame.back() = 0;
  view.TakeFrame(frame.data(), kWidth, kHeight, kWidth * 4);
  EXPECT_FALSE(view.FrameRepeated());
}

TEST(CanvasWidget, RepaintsOnlyAChangedPicture) {
  testing::App();
  QWidget window;
  window.resize(100, 100);
  TCanvasWidget canvas(&window, "ListBoxPower", QRect(0, 0, 49, 161));
  int paints = 0;
  canvas.OnPaint = [&paints] { ++paints; };
  window.show();
  QCoreApplication::processEvents();
  const auto paintsAfter = [&](const std::function<void()>& draw) {
    const int before = paints;
    draw();
    canvas.UpdateIfChanged();
    QCoreApplication::processEvents();
    return paints - before;
  };
  const auto fill = [&](uint32_t colour) {
    canvas.Canvas().BeginPaint();
    canvas.Canvas().SetBrush(colour, false);
    canvas.Canvas().FillRect(0, 0, 49, 161);
    canvas.Canvas().EndPaint();
  };
  EXPECT_EQ(paintsAfter([&] { fill(0x0000FF); }), 1);
  EXPECT_EQ(paintsAfter([&] { fill(0x0000FF); }), 0);  // drawn again, the same picture
  EXPECT_EQ(paintsAfter([] {}), 0);
  EXPECT_EQ(paintsAfter([&] { fill(0x00FF00); }), 1);
  // Hidden, cleared, and shown with the cleared picture (a panel of no
  // vehicle, then the same vehicle again): the old picture is news again.
  canvas.hide();
  fill(0x000000);
  canvas.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(paintsAfter([&] { fill(0x00FF00); }), 1);
}

}  // namespace
}  // namespace velmora::ui
