// The Qt side of the server: it only moves bytes and time between the TCP
// sockets and the Room, on the one thread of the event loop.
#pragma once

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

#include "server/log_writer.h"
#include "server/room.h"
#include "server/server_options.h"
#include "server/server_stats.h"

namespace velmora::server {

class TcpServer final : public RoomOutput {
 public:
  TcpServer(const ServerOptions& options, MissionsFile missions);
  ~TcpServer() override;

  // Starts listening; false with the reason in `error`.
  bool Listen(QString& error);
  quint16 Port() const { return listener_.serverPort(); }

  // For the web side, on the same thread.
  const Room& GameRoom() const { return room_; }
  ServerStats& Stats() { return stats_; }
  uint32_t Now() const { return static_cast<uint32_t>(clock_.elapsed()); }
  uint64_t Uptime() const { return static_cast<uint64_t>(clock_.elapsed()); }

  void Send(ConnectionId id, std::string_view bytes) override;
  void Close(ConnectionId id) override;
  void Log(std::string_view line) override;
  bool InputWaiting(ConnectionId id) override;

 private:
  struct Client {
    QTcpSocket* Socket = nullptr;
    std::unique_ptr<QTimer> Grace;  // fires when a pending login has had time to arrive
    bool Overflowing = false;       // too many unsent bytes: being closed
    qint64 Handed = 0;              // bytes handed to the system to send
    qint64 Taken = 0;               // of those, bytes the peer had taken at the last check
  };

  void Accept();
  // One round of positions, timed.
  void Round();
  void Read(ConnectionId id);
  void Forget(ConnectionId id);
  // Tells the room which users have taken lines since the last check.
  void CheckReading();

  LogWriter log_;  // first in, last out: everything else may still log
  ServerOptions options_;
  Room room_;
  QTcpServer listener_;
  QTimer rounds_;
  QTimer readingCheck_;
  QElapsedTimer clock_;
  std::map<ConnectionId, Client> clients_;
  ConnectionId nextId_ = 1;
  std::vector<char> readBuffer_;
  ServerStats stats_;
};

}  // namespace velmora::server
