// The program logs in to the real server, chooses a mission, flies it for a
// moment and chats, all over loopback.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "physics/railway.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/loopback_server.h"
#include "tests/support/temp_file.h"
#include "tests/ui/ui_test_support.h"
#include "ui/form_main.h"

namespace velmora::ui {
namespace {

constexpr int kPatience = 20000;  // ms before a step that never comes is given up
// ms the server keeps a new connection that has sent no login; a person may
// take longer than that to type a handle or to read a refusal.
constexpr int kServerLoginBudget = 10000;
constexpr int kLateAnswer = kServerLoginBudget + 1000;  // ms

class LoopbackTest : public ::testing::Test {
 protected:
  // Starts the server on a free port with the sample missions and 50 ms
  // rounds, and makes the sample installation the current folder.
  void StartServer() {
    server = std::make_unique<testing::ServerProcess>(
        VELMORA_SERVER,
        std::vector<std::string>{"--missions", VELMORA_MISSIONS, "--interval", "50"},
        testing::TestFilePath("server.log").string(), std::chrono::milliseconds(kPatience));
    port = static_cast<uint16_t>(server->Port());
    ASSERT_NE(port, 0) << "the server did not start";
    ASSERT_TRUE(QDir::setCurrent(VELMORA_DATA));
  }
  std::string ServerLog() const { return server ? server->Log() : std::string(); }
  bool Logged(const std::string& text) {
    return Await([&] { return server->LogHas(text); });
  }

  // The program's options against the server, logging in as `handle`.
  TStartOptions ProgramOptions(const char* handle) const {
    TStartOptions options;
    options.Headless = true;
    options.CommandLine.Host = "127.0.0.1";
    options.CommandLine.Port = port;
    options.CommandLine.Handle = handle;
    return options;
  }

  // Chooses a row of the mission grid as the user does: focus, select, click.
  static void ChooseMission(TFormMain& form, int row) {
    form.activateWindow();
    form.StringGridMission->setFocus();
    form.StringGridMission->setCurrentCell(row, 0);
    QApplication::processEvents();
    form.StringGridMissionClick();
  }

  // The first mission row whose text holds `title`; -1 when none does.
  static int MissionRow(const state::TMainState& s, const char* title) {
    for (int row = 0; row < s.MissionRowCount; ++row) {
      if (s.MissionCells[static_cast<std::size_t>(row)].find(title) != std::string::npos) return row;
    }
    return -1;
  }

  // Runs the event loop for ms, as a person at the login query lets it run:
  // the scripted user's delay, an input of the test and no bound on anything.
  // A busy machine only makes the answer later, which the test is about.
  static void Idle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  }

  // Runs the event loop until the condition holds; patienceMs only bounds a
  // broken run.
  static bool Await(const std::function<bool()>& condition, int patienceMs = kPatience) {
    return testing::Await(condition, patienceMs);
  }

  // A program of its own, with its own renderer and help window, shown and
  // started; it lives until the end of the test.
  TFormMain& Program(const TStartOptions& options) {
    auto& program = programs.emplace_back(std::make_unique<TProgram>(options));
    program->Form.show();
    EXPECT_TRUE(program->Form.FormShow());
    return program->Form;
  }

  // Waits until the program is logged in and shows more mission rows than
  // `rows`.
  static bool LoggedIn(TFormMain& form, int rows = 2, int patienceMs = kPatience) {
    const state::TMainState& s = form.State();
    return Await([&] { return s.Own.UserNo != 0 && s.MissionRowCount > rows; }, patienceMs);
  }

  // The installation is loaded when the form is started, so the renderer's
  // ids may be switched on after the form is made.
  struct TProgram {
    explicit TProgram(const TStartOptions& options) : Form(Drawing, Help, options) {
      Drawing.GiveTextureIds = Drawing.GiveSurfaceIds = true;
    }
    testing::FakeRenderer Drawing;
    TFormHelp Help;
    TFormMain Form;
  };

  struct TApplicationFirst {
    TApplicationFirst() { testing::App(); }
  } applicationFirst;
  std::unique_ptr<testing::ServerProcess> server;
  uint16_t port = 0;
  std::vector<std::unique_ptr<TProgram>> programs;  // closed before the server
};

TEST_F(LoopbackTest, LoginMissionFlightAndChat) {
  ASSERT_NO_FATAL_FAILURE(StartServer());

  TFormMain& form = Program(ProgramOptions("pilot"));
  state::TMainState& s = form.State();

  // Login: a user number, then the mission list below its heading row.
  ASSERT_TRUE(LoggedIn(form)) << ServerLog();
  EXPECT_GE(s.MissionFixedRows, 1);
  EXPECT_EQ(form.StringGridMission->rowCount(), s.MissionRowCount);
  EXPECT_TRUE(form.StringGridMission->item(s.MissionRowCount - 1, 0)->text().isEmpty());
  EXPECT_TRUE(Logged("login: user")) << ServerLog();

  // The first mission, chosen on the grid: the server places a vehicle and
  // the tick starts.
  form.activateWindow();
  form.StringGridMission->setFocus();
  form.StringGridMission->setCurrentCell(s.MissionFixedRows, 0);
  QApplication::processEvents();
  ASSERT_TRUE(form.StringGridMission->hasFocus());
  ASSERT_EQ(form.StringGridMission->currentRow(), s.MissionFixedRows);
  form.StringGridMissionClick();
  ASSERT_TRUE(Await([&] { return s.Own.FormNo != 0; })) << ServerLog();
  EXPECT_NE(s.Own.Kind, vehicle::kKindNone);
  EXPECT_TRUE(form.TimerInterval->isActive());
  EXPECT_EQ(QApplication::focusWidget(), form.EditChatInput);

  // A few ticks: the caption carries the status line.
  const int32_t placedTime = s.Own.Time;
  ASSERT_TRUE(Await([&] { return state::ClockDiff(static_cast<uint32_t>(s.Own.Time), static_cast<uint32_t>(placedTime)) > 300; }));
  EXPECT_TRUE(form.windowTitle().startsWith("Pow")) << form.windowTitle().toStdString();

  // Chat comes back from the server into the log.
  form.EditChatInput->setText("ready");
  form.ButtonChatClick();
  const auto chatShown = [&] {
    return form.MemoMessage->toPlainText().contains("pilot: ready");
  };
  ASSERT_TRUE(Await(chatShown)) << form.MemoMessage->toPlainText().toStdString();

  form.close();
  EXPECT_TRUE(form.Closed());
  EXPECT_TRUE(Logged("disconnect")) << ServerLog();
}

// A race run ends at its goal: the server sends the own record with type 0,
// the replay panel appears, and playing the recording moves the camera.
TEST_F(LoopbackTest, AnEndedRunPlaysBack) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  TFormMain& form = Program(ProgramOptions("racer"));
  state::TMainState& s = form.State();
  ASSERT_TRUE(LoggedIn(form)) << ServerLog();

  // The race, whose goal lies at (6200, 0) within 20 m.
  const int raceRow = MissionRow(s, "自動車レース");
  ASSERT_GE(raceRow, 0);
  ChooseMission(form, raceRow);
  ASSERT_TRUE(Await([&] { return s.Own.FormNo == 20 && s.ReplayMode == 6; })) << ServerLog();
  EXPECT_TRUE(form.StringGridVideo->isHidden());

  // Drive for a while, recording, then stand at the goal.
  s.Throttle = s.ThrottleMax;
  s.Brake = 0;
  ASSERT_TRUE(Await([&] { return s.Own.VY > 5; }));
  ASSERT_GT(s.ReplayEnd - s.ReplayStart, 10);
  const auto standAtGoal = [&] {
    s.Own.X = 6200 - s.OriginX;
    s.Own.Y = 0 - s.OriginY;
    s.Own.VX = s.Own.VY = 0;
    s.Throttle = 0;
    s.Brake = 1;
  };
  standAtGoal();
  ASSERT_TRUE(Await([&] {
    if (s.Own.FormNo != 0) standAtGoal();
    return s.Own.FormNo == 0;
  })) << ServerLog();
  EXPECT_TRUE(Logged("finish: user")) << ServerLog();
  EXPECT_EQ(s.ReplayMode, 0);
  EXPECT_FALSE(form.StringGridVideo->isHidden());
  EXPECT_EQ(form.StringGridVideo->currentRow(), 2);

  // Play: the camera follows the recorded car.
  form.StringGridVideo->setFocus();
  form.StringGridVideo->setCurrentCell(6, 0);
  form.StringGridVideoClick();
  ASSERT_EQ(s.ReplayMode, 4);
  EXPECT_EQ(form.StringGridVideo->rowCount(), 9);
  const auto nextCamera = [&] {
    form.StringGridVideo->setFocus();
    form.StringGridVideo->setCurrentCell(8, 0);
    form.StringGridVideoClick();
    EXPECT_EQ(form.StringGridVideo->currentRow(), 6);
  };
  while (s.CameraNo != 1) nextCamera();
  ASSERT_TRUE(Await([&] { return s.Own.FormNo == 20 && s.Camera.FormNo == 20; }));
  // Camera 1, the driver's eye, travels with the car as it plays.
  const double startX = s.Camera.X, startY = s.Camera.Y;
  ASSERT_TRUE(Await([&] { return std::hypot(s.Camera.X - startX, s.Camera.Y - startY) > 1; }));

  // Camera 2 maps from 10 km above; 3 and 4 watch from beside the course.
  const auto offset = [&] {
    return std::hypot(std::hypot(s.Camera.X - s.Own.X, s.Camera.Y - s.Own.Y), s.Camera.Z - s.Own.Z);
  };
  nextCamera();
  ASSERT_EQ(s.CameraNo, 2);
  EXPECT_TRUE(Await([&] { return s.Camera.Z < s.Own.Z - 5000; })) << s.Camera.Z;
  nextCamera();
  EXPECT_TRUE(Await([&] { return s.CameraNo == 3 && s.Camera.Z > -100 && offset() > 5; }))
      << offset();
  nextCamera();
  EXPECT_TRUE(Await([&] { return s.CameraNo == 4 && s.Camera.Z > -100 && offset() > 5; }))
      << offset();
  nextCamera();
  EXPECT_EQ(s.CameraNo, 1);
  form.close();
}

// The server's practice mission, then a destination: the program places the
// aircraft on the approach, shows the navigation display, and the autopilot
// flies to the hand-over with the captain's and the instructor's lines.
TEST_F(LoopbackTest, PracticeApproachFromTheDestinationPanel) {
  ASSERT_NO_FATAL_FAILURE(StartServer());

  TFormMain& form = Program(ProgramOptions("trainee"));
  state::TMainState& s = form.State();
  ASSERT_TRUE(LoggedIn(form, 4)) << ServerLog();

  // The third mission: the final 6.5 km out, in practice mode.
  constexpr int32_t kFinalPractice = 2;  // rows below the first mission
  ChooseMission(form, s.MissionFixedRows + kFinalPractice);
  ASSERT_TRUE(Await([&] { return s.Own.FormNo == 11; })) << ServerLog();
  EXPECT_EQ(s.Start.Kind, vehicle::kKindNone) << "practice: the start record has kind 0";
  EXPECT_EQ(s.Own.Kind, vehicle::kKindNone) << "nothing flies before a destination";
  ASSERT_FALSE(form.StringGridDest->isHidden());

  // Runway 36, chosen on the destination grid.
  form.StringGridDest->setFocus();
  form.StringGridDest->setCurrentCell(1, 0);
  QApplication::processEvents();
  ASSERT_TRUE(form.StringGridDest->hasFocus());
  emit form.StringGridDest->cellClicked(1, 0);
  EXPECT_EQ(s.Own.Kind, vehicle::kKindAircraft);
  EXPECT_EQ(s.GuidanceMode, 7);
  EXPECT_TRUE(form.StringGridDest->isHidden());
  EXPECT_FALSE(form.ListBoxNavi->isHidden());
  EXPECT_EQ(QApplication::focusWidget(), form.EditChatInput);
  const auto log = [&] { return form.MemoMessage->toPlainText(); };
  EXPECT_TRUE(log().contains("自分> 行先に")) << log().toStdString();

  // The autopilot flies the straight-in to the hand-over 6000 m out.
  ASSERT_TRUE(Await([&] { return log().contains("教官> 速度は 145ノットに維持。"); }))
      << log().toStdString();
  EXPECT_TRUE(log().contains("機長> Auto pilot disengaged.")) << log().toStdString();
  EXPECT_TRUE(log().contains("機長> 風は方位")) << log().toStdString();
  EXPECT_EQ(s.GuidanceMode, 8);
  EXPECT_EQ(s.Own.Kind, vehicle::kKindAircraft);
  form.close();
}

// The express mission: the train leaves station D on the rails, through the
// branch curve towards the junction, and stays on them.
TEST_F(LoopbackTest, ExpressMissionRunsOnTheRails) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  TFormMain& form = Program(ProgramOptions("driver"));
  state::TMainState& s = form.State();
  ASSERT_TRUE(LoggedIn(form)) << ServerLog();
  const int row = MissionRow(s, "特急電車");
  ASSERT_GE(row, 0) << "no express mission in the list";
  ChooseMission(form, row);
  ASSERT_TRUE(Await([&] { return s.Own.FormNo == 31; })) << ServerLog();
  EXPECT_NE(s.Own.TrackSegments, 0u) << "placed on the track";

  const auto offTrack = [&] {
    double nearest = physics::kNoTrack;
    for (int n = 1; n <= s.World->Track.Count; ++n) {
      physics::TTrackFoot foot;
      nearest =
          std::min(nearest, physics::TrackDistance(s.World->Track, n, s.Own.X, s.Own.Y, foot));
    }
    return nearest;
  };
  constexpr double kOnRails = 0.2;  // m: the reference point inside the 150 m curve
  constexpr double kRun = 40;       // m along the track: about 10 s at full thrust
  int32_t f4 = 0x73;                // full thrust, brake off
  form.FormKeyDown(f4, 0);
  const double startX = s.Own.X, startY = s.Own.Y;
  double worst = 0;
  ASSERT_TRUE(Await([&] {
    worst = std::max(worst, offTrack());
    return std::hypot(s.Own.X - startX, s.Own.Y - startY) > kRun;
  })) << "the express did not move off";
  EXPECT_LE(worst, kOnRails);
  EXPECT_GT(s.RailSpeedLimit, 0);
  EXPECT_NE(s.Own.TrackSegments, 0u);
  form.close();
}

// Two programs on one server see each other's vehicles move, until the server
// goes away: then each shows the disconnection and closes.
TEST_F(LoopbackTest, TwoProgramsSeeEachOtherUntilTheServerStops) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  TFormMain& alpha = Program(ProgramOptions("alpha"));
  TFormMain& bravo = Program(ProgramOptions("bravo"));
  state::TMainState& a = alpha.State();
  state::TMainState& b = bravo.State();
  ASSERT_TRUE(LoggedIn(alpha) && LoggedIn(bravo)) << ServerLog();

  // Both take the first mission, a server mission that others can see.
  for (TFormMain* form : {&alpha, &bravo}) ChooseMission(*form, form->State().MissionFixedRows);
  ASSERT_TRUE(Await([&] { return a.Own.FormNo != 0 && b.Own.FormNo != 0; })) << ServerLog();

  // Each program's state goes out at the server's interval.
  EXPECT_EQ(a.SendInterval, 50);
  const uint32_t firstSend = a.LastSendTime;
  ASSERT_TRUE(Await([&] { return state::ClockDiff(a.LastSendTime, firstSend) >= 500; }));

  // Bravo sees alpha's vehicle, and sees it move once alpha opens the throttle.
  const auto alphaSeenByBravo = [&]() -> const vehicle::TVehicleState* {
    for (int i = 0; i < vehicle::RemoteCount(b.Remote); ++i) {
      if (b.Remote[static_cast<std::size_t>(i)].UserNo == a.Own.UserNo) {
        return &b.Remote[static_cast<std::size_t>(i)];
      }
    }
    return nullptr;
  };
  ASSERT_TRUE(Await([&] { return alphaSeenByBravo() != nullptr; })) << ServerLog();
  const double startX = alphaSeenByBravo()->X, startY = alphaSeenByBravo()->Y;
  int32_t f4 = 0x73;  // full thrust, brake off
  alpha.FormKeyDown(f4, 0);
  constexpr double kMoved = 5;  // m: well beyond any rounding of the wire's centimetres
  ASSERT_TRUE(Await([&] {
    const vehicle::TVehicleState* seen = alphaSeenByBravo();
    return seen && std::hypot(seen->X - startX, seen->Y - startY) > kMoved;
  })) << "alpha's vehicle did not move for bravo";
  EXPECT_TRUE(Await([&] {
    for (int i = 0; i < vehicle::RemoteCount(a.Remote); ++i) {
      if (a.Remote[static_cast<std::size_t>(i)].UserNo == b.Own.UserNo) return true;
    }
    return false;
  })) << "alpha does not see bravo";

  // The server goes away: both programs say so and close.
  server->Kill();
  ASSERT_TRUE(Await([&] { return alpha.Closed() && bravo.Closed(); }));
  for (TFormMain* form : {&alpha, &bravo}) {
    ASSERT_FALSE(form->ErrorsShown().empty());
    EXPECT_EQ(form->ErrorsShown().back(), "通信が切断されました。");
    EXPECT_EQ(form->ExitCode(), 1);
  }
}

// A person may take longer to type the handle, or to read a refusal, than
// the server waits for a login on a new connection: both still get in.
TEST_F(LoopbackTest, ALateLoginAndARetryAfterARefusalGetIn) {
  ASSERT_NO_FATAL_FAILURE(StartServer());
  // The person's time at the query is theirs, not the program's.
  constexpr int kQueryPatience = kPatience + kLateAnswer;  // ms

  // The handle typed after the server's budget.
  TStartOptions lateOptions = ProgramOptions("unused");
  int lateAsked = 0;
  lateOptions.LoginQuery = [&]() -> std::optional<std::string> {
    ++lateAsked;
    Idle(kLateAnswer);
    return "pilot";
  };
  TFormMain& late = Program(lateOptions);
  ASSERT_TRUE(LoggedIn(late, 2, kQueryPatience)) << ServerLog();
  EXPECT_EQ(lateAsked, 1);
  EXPECT_TRUE(late.ErrorsShown().empty());

  // The same handle again: refused; the user reads the box for a while and
  // answers with another.
  TStartOptions retryOptions = ProgramOptions("unused");
  std::vector<std::string> answers = {"pilot", "copilot"};
  std::size_t retryAsked = 0;
  retryOptions.LoginQuery = [&]() -> std::optional<std::string> {
    if (retryAsked >= answers.size()) return std::nullopt;
    if (retryAsked > 0) Idle(kLateAnswer);
    return answers[retryAsked++];
  };
  TFormMain& retry = Program(retryOptions);
  ASSERT_TRUE(LoggedIn(retry, 2, kQueryPatience)) << ServerLog();
  EXPECT_EQ(retryAsked, 2u);
  EXPECT_EQ(retry.ErrorsShown(),
            std::vector<std::string>{"そのハンドル名は使用中です。別の名前を入れてください。"});
  EXPECT_TRUE(Logged("'copilot' on connection")) << ServerLog();
  late.close();
  retry.close();
}

}  // namespace
}  // namespace velmora::ui
