// velmora: the program. Reads the command line, binds the renderer library,
// then shows the main form and runs the start-up sequence and the event loop.
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ui/command_line.h"
#include "ui/form_help.h"
#include "ui/form_main.h"
#include "ui/install_layout.h"
#include "ui/joystick.h"
#include "ui/renderer_binding.h"
#include "ui/settings_store.h"
#include "version/version.h"

#include <sys/socket.h>
#include <unistd.h>

namespace {

// The folder of the running program, for the files installed beside it.
std::string ProgramDir() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

// SIGINT and SIGTERM close the main form as its close button does: the
// handler only writes a byte, the event loop reads it and closes the form.
int signalPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = write(signalPipe[0], &byte, 1);
}

bool HeadlessPlatform() {
  const QString platform = QGuiApplication::platformName();
  return platform == "offscreen" || platform == "minimal";
}

// A start-up failure once the toolkit runs: the Japanese text on standard
// error and, on a screen, in a box, since a program started from the desktop
// has no terminal; the detail (English) on standard error only.
int StartFailure(const std::string& text, const std::string& detail) {
  std::fprintf(stderr, "velmora: %s\nvelmora: %s\n", text.c_str(), detail.c_str());
  std::fflush(stderr);
  if (!HeadlessPlatform()) QMessageBox::critical(nullptr, "Velmora", QString::fromStdString(text));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmora::ui;

  std::vector<std::string> arguments(argv, argv + argc);
  std::string error;
  const auto line = ParseCommandLine(arguments, error);
  if (!line) {
    std::fprintf(stderr,
                 "velmora: コマンドラインに誤りがあります。\nvelmora: %s\n(velmora --help shows "
                 "the usage)\n",
                 error.c_str());
    return 2;
  }
  if (line->Help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (line->Version) return velmora::version::PrintVersion("velmora");

  // Without a display the toolkit would abort; say what to do instead.
  const auto unset = [](const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr || *value == '\0';
  };
  if (unset("DISPLAY") && unset("WAYLAND_DISPLAY") && unset("QT_QPA_PLATFORM")) {
    std::fprintf(stderr,
                 "velmora: 表示する画面がありません。\n"
                 "velmora: no display (DISPLAY and WAYLAND_DISPLAY are not set); to run without "
                 "one, set QT_QPA_PLATFORM=offscreen and answer the login with --handle NAME\n");
    return 1;
  }

  // The toolkit sees its own options only.
  std::vector<char*> toolkitArgv;
  std::vector<std::string> toolkitArguments = line->ToolkitArguments;
  for (std::string& a : toolkitArguments) toolkitArgv.push_back(a.data());
  int toolkitArgc = static_cast<int>(toolkitArgv.size());
  toolkitArgv.push_back(nullptr);
  QApplication application(toolkitArgc, toolkitArgv.data());
  QApplication::setApplicationName("Velmora");
  QApplication::setApplicationVersion(QString::fromStdString(velmora::version::ProjectVersion()));
  QApplication::setQuitOnLastWindowClosed(false);

  // The renderer is bound before the main window exists: without it there
  // is nothing to show.
  TRendererLibrary library;
  if (!library.Open(RendererCandidates(line->RendererPath, ProgramDir()), error)) {
    return StartFailure(
        "描画ライブラリ（" + std::string(kRendererFileName) + "）を読み込めません。", error);
  }
  velmora::vehicle::TableRenderer renderer(library.Table());

  // Without --data an installed program reads its installed files.
  const std::string dataDir = ChooseDataDir(line->DataDir, ProgramDir());
  if (!dataDir.empty() && !QDir::setCurrent(QString::fromStdString(dataDir))) {
    return StartFailure("データのフォルダ " + dataDir + " を開けません。",
                        "cannot enter the data folder '" + dataDir + "'");
  }

  TSettingsStore settings;
  TStartOptions options;
  options.CommandLine = *line;
  options.Headless = HeadlessPlatform();
  options.Settings = &settings;
  TJoystick joystick;
  TFormHelp help;
  TFormMain form(renderer, help, options, &joystick);
  std::unique_ptr<QSocketNotifier> stopNotifier;
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
    stopNotifier = std::make_unique<QSocketNotifier>(signalPipe[1], QSocketNotifier::Read);
    QObject::connect(stopNotifier.get(), &QSocketNotifier::activated, &form, [&form] {
      char byte = 0;
      [[maybe_unused]] const ssize_t got = read(signalPipe[1], &byte, 1);
      form.close();
    });
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  }
  const auto printStats = [&form] {
    if (form.FrameMeter() == nullptr) return;
    std::fputs(form.FrameMeter()->Stats().Report().c_str(), stdout);
    std::fflush(stdout);
  };
  if (form.StartsFullScreen()) {
    form.ToggleFullScreen();
  } else {
    form.show();
  }
  if (!form.FormShow()) {
    printStats();
    return form.ExitCode() != 0 ? form.ExitCode() : 1;
  }
  const int status = QApplication::exec();
  printStats();
  return status != 0 ? status : form.ExitCode();
}
