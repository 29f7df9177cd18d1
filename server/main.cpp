// velmora-server: the game server the simulator program logs in to.
#include <QCoreApplication>
#include <QHostAddress>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "net/host_port.h"
#include "server/missions.h"
#include "server/server_options.h"
#include "server/tcp_server.h"
#include "server/web_server.h"
#include "version/version.h"

namespace {

// The folder of the running program, for the missions installed beside it.
std::string ProgramDir() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velmora::server;

  std::vector<std::string> arguments(argv + 1, argv + argc);
  OptionsParse parse = ParseServerOptions(arguments);
  if (parse.Error) {
    std::fprintf(stderr, "velmora-server: %s\n", parse.Error->c_str());
    return 2;
  }
  if (parse.Options.Help) {
    std::fputs(ServerHelpText().c_str(), stdout);
    return 0;
  }
  if (parse.Options.Version) return velmora::version::PrintVersion("velmora-server");

  if (parse.Options.MissionsPath.empty()) {
    parse.Options.MissionsPath = DefaultMissionsPath(ProgramDir());
  }
  MissionsLoad missions = LoadMissions(parse.Options.MissionsPath);
  if (missions.Error) {
    std::fprintf(stderr, "velmora-server: %s\n", missions.Error->Message().c_str());
    return 1;
  }

  // A log reader that goes away must not end the game: the log writer sees
  // the failed write and drops the lines instead.
  std::signal(SIGPIPE, SIG_IGN);

  QCoreApplication app(argc, argv);
  TcpServer server(parse.Options, std::move(missions.Missions));
  QString error;
  if (!server.Listen(error)) {
    const std::string address = velmora::net::JoinHostPort(
        parse.Options.Address, static_cast<uint16_t>(parse.Options.Port));
    std::fprintf(stderr, "velmora-server: cannot listen on %s: %s\n", address.c_str(),
                 error.toStdString().c_str());
    return 1;
  }
  std::unique_ptr<WebServer> web;
  QHostAddress webAddress;
  if (parse.Options.HttpPort >= 0) {
    const std::string& address = parse.Options.HttpAddress;
    if (!webAddress.setAddress(QString::fromStdString(address))) {
      std::fprintf(stderr, "velmora-server: cannot serve the web page on %s: not an IP address\n",
                   address.c_str());
      return 1;
    }
    web = std::make_unique<WebServer>(server);
    if (!web->Listen(webAddress, static_cast<quint16>(parse.Options.HttpPort), error)) {
      std::fprintf(stderr, "velmora-server: cannot serve the web page on %s:%d: %s\n",
                   address.c_str(), parse.Options.HttpPort, error.toStdString().c_str());
      return 1;
    }
  }
  // As --server HOST:PORT reads it: an IPv6 address in brackets.
  const std::string listening =
      velmora::net::JoinHostPort(parse.Options.Address, static_cast<uint16_t>(server.Port()));
  std::printf("listening on %s\n", listening.c_str());
  if (web) {
    const std::string url =
        "http://" +
        velmora::net::JoinHostPort(webAddress.toString().toStdString(),
                                   static_cast<uint16_t>(web->Port())) +
        "/";
    std::printf("web page on %s\n", url.c_str());
    if (!webAddress.isLoopback()) {
      std::printf(
          "the web page is public: anyone who can reach %s sees who is online, where, "
          "and the chat\n",
          url.c_str());
    }
  }
  std::fflush(stdout);
  return app.exec();
}
