// The program started as a process: every start-up failure ends it with its
// message on standard error and a nonzero status, without waiting on a box.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <functional>
#include <string>

#include "tests/ui/ui_test_support.h"

namespace velmora::ui {
namespace {

struct TRun {
  int Status = -1;     // exit status; 124 when it had to be stopped
  std::string Output;  // standard output and standard error together
};

// Runs the program in folder with the arguments and exactly the given changes
// to the environment (options and entries of env). `running`, when given, is
// called with the process id of the program's stopwatch, which hands signals
// on to the program, while it runs.
TRun RunProgramIn(const std::filesystem::path& folder, const std::string& arguments,
                  const std::string& environment, const std::function<void(pid_t)>& running = {}) {
  const std::string command = "cd '" + folder.string() + "' && { env " + environment +
                              " timeout 60 " VELMORA_PROGRAM " " + arguments +
                              " 2>&1 & echo \"pid $!\"; wait $!; }";
  TRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer;
  bool started = false;
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) {
    const std::string line = buffer.data();
    if (!started && line.rfind("pid ", 0) == 0) {
      started = true;
      if (running) running(static_cast<pid_t>(std::stol(line.substr(4))));
      continue;
    }
    run.Output += line;
  }
  const int status = pclose(pipe);
  run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// The same on the offscreen platform, with the environment entries added
// ("NAME=value ...").
TRun RunProgram(const std::filesystem::path& folder, const std::string& arguments,
                const std::string& environment = "",
                const std::function<void(pid_t)>& running = {}) {
  return RunProgramIn(folder, arguments, "QT_QPA_PLATFORM=offscreen " + environment, running);
}

const std::string kFakeRenderer = std::string("--renderer ") + VELMORA_TEST_RENDERER;

TEST(StartUp, Failures) {
  struct Case {
    const char* Name;
    const char* Vehicles;  // nullptr: no vehicles.dat
    const char* Objects;
    std::string Arguments;
    std::string Environment;
    std::vector<std::string> Says;
  };
  const char* kVehicles = "20;-600;2600;-400;1200;0;3000;1300;0;-1000;car\tbox\n";
  const char* kObjects = "Line\t0;0;0;1000;-10;5000;FFFFFF\n";
  const Case cases[] = {
      {"no vehicles.dat", nullptr, kObjects, kFakeRenderer, "",
       {"vehicles.dat を読めません。", "DirectX の乗物形状初期化ができません"}},
      {"bad objects.dat line", kVehicles, "Line\t0;0;0;1000;-10;5000;FFFFFF\nLine\t1;2;x\n",
       kFakeRenderer, "",
       {"objects.datの形式が異常です: Line 2", "DirectX の固定物体初期化ができません"}},
      {"19999 vertex buffers", kVehicles, kObjects, kFakeRenderer,
       "VELMORA_FAKE_VERTEX_BUFS=19999", {"DirectX の固定物体初期化ができません"}},
      {"renderer refuses the view", kVehicles, kObjects, kFakeRenderer,
       "VELMORA_FAKE_INIT_RESULT=1", {"DirectX の初期化ができません"}},
      {"no renderer library", kVehicles, kObjects, "--renderer /nonexistent/libprismoth.so", "",
       {"描画ライブラリ（libprismoth.so）を読み込めません。", "cannot load the renderer library",
        "/nonexistent/libprismoth.so"}},
      {"renderer without DXDraw", kVehicles, kObjects,
       std::string("--renderer ") + VELMORA_TEST_RENDERER_PARTIAL, "",
       {"lacks the export(s) DXDraw"}},
      {"world number not a number", kVehicles, kObjects, kFakeRenderer + " world", "",
       {"コマンドラインに誤りがあります。", "parameter 1 (world number) is not an integer: 'world'"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const auto folder = testing::TestFilePath(c.Name);
    std::filesystem::create_directories(folder);
    if (c.Vehicles != nullptr) std::ofstream(folder / "vehicles.dat") << c.Vehicles;
    std::ofstream(folder / "ground.dat") << "-1000;-1000;1000;1000;0;0;$208020\n";
    std::ofstream(folder / "objects.dat") << c.Objects;
    const TRun run = RunProgram(folder, c.Arguments + " --handle tester", c.Environment);
    EXPECT_NE(run.Status, 0) << run.Output;
    EXPECT_NE(run.Status, 124) << "the program had to be stopped:\n" << run.Output;
    for (const std::string& text : c.Says) {
      EXPECT_NE(run.Output.find(text), std::string::npos) << run.Output;
    }
  }
}

TEST(StartUp, NoServerIsASocketError) {
  testing::WriteSmallInstallation();
  const auto folder = testing::TestFilePath("");
  // Nothing listens on port 1 of the loopback interface.
  const TRun run = RunProgram(folder, kFakeRenderer + " --handle tester '' 1 127.0.0.1");
  EXPECT_EQ(run.Status, 1) << run.Output;
  EXPECT_NE(run.Output.find("サーバー 127.0.0.1:1 との通信エラー（111）：接続が拒否されました。"),
            std::string::npos)
      << run.Output;
}

TEST(StartUp, StopSignalsCloseCleanlyAndPrintTheFrameStatistics) {
  testing::WriteSmallInstallation();
  const auto folder = testing::TestFilePath("");
  // A server that takes the connection and never answers: the program waits
  // for its first positions until the signal comes.
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  socklen_t length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string port = std::to_string(ntohs(address.sin_port));
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    // The program sets its handlers up before it connects: once the
    // connection is there, the signal goes, and the stopwatch hands it on.
    int connection = -1;
    const TRun run = RunProgram(
        folder, "--frame-stats " + kFakeRenderer + " --handle tester '' " + port + " 127.0.0.1", "",
        [&](pid_t stopwatch) {
          pollfd p{listener, POLLIN, 0};
          if (poll(&p, 1, 60000) == 1) connection = accept(listener, nullptr, nullptr);
          kill(stopwatch, signal);
        });
    if (connection >= 0) close(connection);
    EXPECT_EQ(run.Status, 0) << run.Output;
    EXPECT_NE(run.Output.find("velmora frame statistics: "), std::string::npos) << run.Output;
  }
  close(listener);
}

TEST(StartUp, NoDisplayIsAClearError) {
  testing::WriteSmallInstallation();
  const auto folder = testing::TestFilePath("");
  const TRun run =
      RunProgramIn(folder, kFakeRenderer, "-u QT_QPA_PLATFORM -u DISPLAY -u WAYLAND_DISPLAY");
  EXPECT_EQ(run.Status, 1) << run.Output;
  EXPECT_NE(run.Output.find("no display"), std::string::npos) << run.Output;
}

TEST(StartUp, HelpAndVersion) {
  const auto folder = testing::TestFilePath("");
  const TRun help = RunProgram(folder, "--help");
  EXPECT_EQ(help.Status, 0);
  EXPECT_NE(help.Output.find("Usage: velmora"), std::string::npos) << help.Output;
  const TRun version = RunProgram(folder, "--version");
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Output.rfind("velmora ", 0), 0u) << version.Output;
}

}  // namespace
}  // namespace velmora::ui
