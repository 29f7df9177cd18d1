// The server's web side: a status page with a live map, its JSON feed, live
// updates over a WebSocket and the metrics, on Qt HttpServer and Qt
// WebSockets in the game's own event loop. It only reads the room; what it
// does per request is bounded (cached texts, bounded connections, bounded
// requests), so a flood of web requests cannot hold up the rounds.
#pragma once

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>

#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "server/request_guard.h"
#include "server/tcp_server.h"
#include "server/web_state.h"

class QWebSocket;

namespace velmora::server {

// Web connections open at once, live-update viewers included.
inline constexpr int kMaxWebConnections = 64;
// A web connection has this long for each request, from its opening or from
// the previous response to the end of the next request's head; an idle one
// is closed as well.
inline constexpr int kWebRequestMs = 5000;
// A web client whose unread responses or updates reach this is dropped.
inline constexpr qint64 kMaxWebUnsentBytes = 1024 * 1024;
// Live updates go out this often, and /api/state and /metrics are built at
// most this often.
inline constexpr int kWebUpdateMs = 250;

class WebServer final : public QAbstractHttpServer {
 public:
  explicit WebServer(TcpServer& game);
  ~WebServer() override;

  // Starts listening; false with the reason in `error`.
  bool Listen(const QHostAddress& address, quint16 port, QString& error);
  quint16 Port() const;

 protected:
  bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
  void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

 private:
  class Listener;
  struct Connection {
    RequestGuard Guard;
    qint64 Seen = 0;  // unread bytes at the socket's head that the guard has had
    std::unique_ptr<QTimer> Deadline;
    std::pair<QString, quint16> Peer;  // address and port
  };
  struct Asset {
    QByteArray Body;
    QByteArray Type;
  };

  void Accepted(QTcpSocket* socket);
  void BeforeLibrary(QTcpSocket* socket);
  void AfterLibrary(QTcpSocket* socket);
  void Refuse(QTcpSocket* socket, GuardVerdict verdict);
  bool Answer(const QHttpServerRequest& request, QTcpSocket* socket);
  void TakeViewers();
  void Push();
  void Respond(const QHttpServerRequest& request, QTcpSocket* socket, int status,
               const QByteArray& type, const QByteArray& body, bool close = false);
  // /api/state or /metrics, built again when older than kWebUpdateMs.
  const QByteArray& Cached(bool metrics);
  WebClock Clock() const;
  // Adds the time since `start` to the web side's busy time.
  void Busy(std::chrono::steady_clock::time_point start);
  WebCounters Counters() const;

  TcpServer& game_;
  Listener* listener_ = nullptr;  // owned by the library once bound
  std::map<QTcpSocket*, Connection> connections_;
  std::vector<QTcpSocket*> accepted_;               // since the listener last said so
  std::set<std::pair<QString, quint16>> upgrades_;  // peers whose live updates were asked for
  std::map<QWebSocket*, std::unique_ptr<QWebSocket>> viewers_;
  std::map<std::string, Asset> assets_;  // by path
  QTimer push_;
  uint64_t chatPushed_ = 0;  // the last chat line and result the viewers have
  uint64_t resultsPushed_ = 0;
  QByteArray cached_[2];
  uint64_t cachedAt_[2] = {0, 0};
  bool cachedOnce_[2] = {false, false};
  WebCounters counters_;
  std::string scratch_;
};

}  // namespace velmora::server
