// The real game server as a child process, for the loopback integration tests.
#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>

#include <cstdint>

namespace velmora::testing {

// Starts velmora-server on a free loopback port with the sample missions and
// 50 ms rounds, plus `extra` options; the port it reports, 0 when it did not
// come up within patienceMs.
inline uint16_t StartServerProcess(QProcess& server, const char* program, const char* missions,
                                   int patienceMs, const QStringList& extra = {}) {
  server.start(program, QStringList{"--port", "0", "--missions", missions, "--interval", "50"} + extra);
  if (!server.waitForStarted(patienceMs)) return 0;
  QByteArray out;
  QElapsedTimer clock;
  clock.start();
  while (!out.contains('\n') && clock.elapsed() < patienceMs) {
    server.waitForReadyRead(100);
    out += server.readAllStandardOutput();
  }
  const qsizetype colon = out.lastIndexOf(':');
  return colon < 0 ? 0 : static_cast<uint16_t>(out.mid(colon + 1).trimmed().toInt());
}

}  // namespace velmora::testing
