#include "server/web_server.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QDirIterator>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>
#include <QWebSocket>

#include <algorithm>
#include <string_view>
#include <vector>

namespace velmora::server {
namespace {

using Status = QHttpServerResponder::StatusCode;

// What one web connection may hold of a request at a time: more than the
// guard lets a request head have.
constexpr qint64 kWebReadBuffer = 32 * 1024;
// What a live-update viewer may send: nothing is read from it.
constexpr qint64 kMaxViewerMessage = 1024;
constexpr std::string_view kEventsPath = "/api/events";

// The page's policy: only its own scripts, styles, images and connections,
// so that no text on it can run as code even if it were ever put in as markup.
constexpr const char* kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

QByteArray TypeOf(const QString& name) {
  if (name.endsWith(".html")) return "text/html; charset=utf-8";
  if (name.endsWith(".css")) return "text/css; charset=utf-8";
  if (name.endsWith(".js")) return "text/javascript; charset=utf-8";
  if (name.endsWith(".json")) return "application/json";
  if (name.endsWith(".svg")) return "image/svg+xml";
  if (name.endsWith(".png")) return "image/png";
  return "application/octet-stream";
}

}  // namespace

// Accepts the web connections: past kMaxWebConnections a new one is answered
// 503 and closed at once; the others get their guard and deadline before the
// HTTP library sees them.
class WebServer::Listener final : public QTcpServer {
 public:
  explicit Listener(WebServer& web) : web_(web) {}

 protected:
  void incomingConnection(qintptr descriptor) override {
    const int fd = static_cast<int>(descriptor);
    if (static_cast<int>(web_.connections_.size()) >= kMaxWebConnections) {
      static constexpr std::string_view kBusy =
          "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
      ::send(fd, kBusy.data(), kBusy.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
      ::shutdown(fd, SHUT_WR);
      ::close(fd);
      ++web_.counters_.RefusedConnections;
      return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
      delete socket;
      ::close(fd);
      return;
    }
    web_.Accepted(socket);
    addPendingConnection(socket);
  }

 private:
  WebServer& web_;
};

WebServer::WebServer(TcpServer& game) : game_(game) {
  for (QDirIterator it(":/web", QDir::Files); it.hasNext();) {
    QFile file(it.next());
    if (!file.open(QIODevice::ReadOnly)) continue;
    const QString name = it.fileName();
    assets_["/" + name.toStdString()] = Asset{file.readAll(), TypeOf(name)};
  }
  if (assets_.count("/index.html") != 0) assets_["/"] = assets_["/index.html"];
  push_.setInterval(kWebUpdateMs);
  QObject::connect(&push_, &QTimer::timeout, this, [this] { Push(); });
  QObject::connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
                   [this] { TakeViewers(); });
}

WebServer::~WebServer() {
  push_.stop();
  for (auto& [raw, viewer] : viewers_) QObject::disconnect(raw, nullptr, this, nullptr);
  viewers_.clear();
  // The sockets go with their listener while the records they update still exist.
  delete listener_;
}

bool WebServer::Listen(const QHostAddress& address, quint16 port, QString& error) {
  listener_ = new Listener(*this);
  if (!listener_->listen(address, port)) {
    error = listener_->errorString();
    delete listener_;
    listener_ = nullptr;
    return false;
  }
  bind(listener_);
  // After the library's own handler: from here on it reads each new socket.
  QObject::connect(listener_, &QTcpServer::newConnection, this, [this] {
    for (QTcpSocket* socket : accepted_) {
      QObject::connect(socket, &QTcpSocket::readyRead, this,
                       [this, socket] { AfterLibrary(socket); });
    }
    accepted_.clear();
  });
  push_.start();
  return true;
}

quint16 WebServer::Port() const {
  return listener_ != nullptr ? listener_->serverPort() : 0;
}

void WebServer::Accepted(QTcpSocket* socket) {
  socket->setReadBufferSize(kWebReadBuffer);
  Connection& c = connections_[socket];
  c.Peer = {socket->peerAddress().toString(), socket->peerPort()};
  c.Deadline = std::make_unique<QTimer>();
  c.Deadline->setSingleShot(true);
  c.Deadline->setInterval(kWebRequestMs);
  QObject::connect(c.Deadline.get(), &QTimer::timeout, this, [this, socket] {
    ++counters_.DroppedConnections;
    socket->abort();
    socket->deleteLater();
  });
  c.Deadline->start();
  // Before the library's handler: the guard sees the bytes first.
  QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { BeforeLibrary(socket); });
  QObject::connect(socket, &QObject::destroyed, this, [this, socket] {
    const auto it = connections_.find(socket);
    if (it == connections_.end()) return;
    upgrades_.erase(it->second.Peer);
    connections_.erase(it);
  });
  accepted_.push_back(socket);
}

void WebServer::BeforeLibrary(QTcpSocket* socket) {
  const auto it = connections_.find(socket);
  if (it == connections_.end()) return;
  Connection& c = it->second;
  // The library leaves what it has not parsed yet at the socket's head, and
  // reads it again later: the guard takes only what lies beyond.
  const QByteArray unread = socket->peek(socket->bytesAvailable());
  if (unread.size() > c.Seen) {
    const std::string_view fresh(unread.constData() + c.Seen,
                                 static_cast<std::size_t>(unread.size() - c.Seen));
    game_.Stats().Received(Side::Web, game_.Uptime(), fresh.size());
    const GuardVerdict verdict = c.Guard.Feed(fresh);
    if (verdict != GuardVerdict::Fine) {
      Refuse(socket, verdict);
      return;
    }
  }
  c.Seen = unread.size();
}

void WebServer::AfterLibrary(QTcpSocket* socket) {
  const auto it = connections_.find(socket);
  if (it != connections_.end()) it->second.Seen = socket->bytesAvailable();
}

void WebServer::Refuse(QTcpSocket* socket, GuardVerdict verdict) {
  // The library hears nothing more of this connection.
  QObject::disconnect(socket, &QTcpSocket::readyRead, nullptr, nullptr);
  const bool line = verdict == GuardVerdict::RequestLineTooLong;
  const QByteArray answer = line ? QByteArray("HTTP/1.1 414 URI Too Long\r\n")
                                 : QByteArray("HTTP/1.1 431 Request Header Fields Too Large\r\n");
  const QByteArray whole = answer + "Connection: close\r\nContent-Length: 0\r\n\r\n";
  ++counters_.Responses[line ? 414 : 431];
  game_.Stats().Sent(Side::Web, game_.Uptime(), static_cast<uint64_t>(whole.size()));
  socket->write(whole);
  socket->flush();
  // Closed for writing: the client reads the answer to its end. What it still
  // sends is thrown away until it closes, or its deadline does.
  shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
  QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
  socket->readAll();
}

bool WebServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
  const auto start = std::chrono::steady_clock::now();
  const bool handled = Answer(request, socket);
  Busy(start);
  return handled;
}

bool WebServer::Answer(const QHttpServerRequest& request, QTcpSocket* socket) {
  const auto it = connections_.find(socket);
  if (it != connections_.end()) it->second.Deadline->start();
  const QString path = request.url().path();
  const bool upgrade = !request.value("upgrade").isEmpty();

  if (request.method() != QHttpServerRequest::Method::Get) {
    Respond(request, socket, 405, "text/plain; charset=utf-8", "only GET is served\n", true);
    return true;
  }
  if (upgrade) {
    // The library takes the connection over as a WebSocket once this
    // returns; TakeViewers keeps it only when it was asked for here.
    if (path == QLatin1String(kEventsPath.data()) && it != connections_.end()) {
      upgrades_.insert(it->second.Peer);
    }
    return true;
  }
  if (socket->bytesToWrite() > kMaxWebUnsentBytes) {
    ++counters_.DroppedConnections;
    socket->abort();
    return true;
  }
  if (path == "/api/state") {
    Respond(request, socket, 200, "application/json", Cached(false));
  } else if (path == "/metrics") {
    Respond(request, socket, 200, "text/plain; version=0.0.4; charset=utf-8", Cached(true));
  } else if (path == QLatin1String(kEventsPath.data())) {
    Respond(request, socket, 426, "text/plain; charset=utf-8", "a WebSocket of live updates\n");
  } else if (const auto asset = assets_.find(path.toStdString()); asset != assets_.end()) {
    Respond(request, socket, 200, asset->second.Type, asset->second.Body);
  } else {
    Respond(request, socket, 404, "text/plain; charset=utf-8", "not found\n");
  }
  return true;
}

void WebServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
  Respond(request, socket, 404, "text/plain; charset=utf-8", "not found\n");
}

void WebServer::Respond(const QHttpServerRequest& request, QTcpSocket* socket, int status,
                        const QByteArray& type, const QByteArray& body, bool close) {
  const qint64 before = socket->bytesToWrite();
  QHttpServerResponder responder = makeResponder(request, socket);
  responder.writeStatusLine(static_cast<Status>(status));
  responder.writeHeader("Content-Type", type);
  responder.writeHeader("Content-Length", QByteArray::number(body.size()));
  responder.writeHeader("Cache-Control", "no-cache");
  responder.writeHeader("X-Content-Type-Options", "nosniff");
  responder.writeHeader("Referrer-Policy", "no-referrer");
  if (type.startsWith("text/html")) {
    responder.writeHeader("Content-Security-Policy", kPagePolicy);
    responder.writeHeader("X-Frame-Options", "DENY");
  }
  if (close) responder.writeHeader("Connection", "close");
  responder.writeBody(body);
  ++counters_.Responses[status];
  game_.Stats().Sent(Side::Web, game_.Uptime(),
                     static_cast<uint64_t>(std::max<qint64>(socket->bytesToWrite() - before, 0)));
  if (close) socket->disconnectFromHost();
}

const QByteArray& WebServer::Cached(bool metrics) {
  const int slot = metrics ? 1 : 0;
  const uint64_t now = game_.Uptime();
  if (!cachedOnce_[slot] || now - cachedAt_[slot] >= static_cast<uint64_t>(kWebUpdateMs)) {
    const std::string text = metrics
                                 ? MetricsText(game_.GameRoom(), game_.Stats(), Counters(), Clock())
                                 : StateJson(game_.GameRoom(), game_.Stats(), Counters(), Clock());
    cached_[slot] = QByteArray(text.data(), static_cast<qsizetype>(text.size()));
    cachedAt_[slot] = now;
    cachedOnce_[slot] = true;
  }
  return cached_[slot];
}

void WebServer::TakeViewers() {
  const auto start = std::chrono::steady_clock::now();
  while (hasPendingWebSocketConnections()) {
    std::unique_ptr<QWebSocket> viewer = nextPendingWebSocketConnection();
    if (!viewer) break;
    const std::pair<QString, quint16> peer{viewer->peerAddress().toString(), viewer->peerPort()};
    // Its connection is a viewer now: no request deadline.
    for (auto& [socket, c] : connections_) {
      if (c.Peer == peer) c.Deadline->stop();
    }
    const bool asked = upgrades_.erase(peer) > 0 &&
                       viewer->requestUrl().path() == QLatin1String(kEventsPath.data());
    if (!asked) {
      viewer->abort();
      continue;
    }
    viewer->setMaxAllowedIncomingFrameSize(kMaxViewerMessage);
    viewer->setMaxAllowedIncomingMessageSize(kMaxViewerMessage);
    QWebSocket* raw = viewer.get();
    QObject::connect(raw, &QWebSocket::disconnected, this, [this, raw] {
      const auto it = viewers_.find(raw);
      if (it == viewers_.end()) return;
      it->second.release()->deleteLater();
      viewers_.erase(it);
    });
    viewers_.emplace(raw, std::move(viewer));
    // The whole state first; the updates after it carry the chat and results
    // since the previous update, and the page drops what it already has.
    scratch_.clear();
    AppendStateJson(scratch_, game_.GameRoom(), game_.Stats(), Counters(), Clock());
    raw->sendBinaryMessage(QByteArray(scratch_.data(), static_cast<qsizetype>(scratch_.size())));
    game_.Stats().Sent(Side::Web, game_.Uptime(), scratch_.size());
  }
  Busy(start);
}

void WebServer::Push() {
  if (viewers_.empty()) return;
  const auto start = std::chrono::steady_clock::now();
  const RoomJournal& journal = game_.GameRoom().Journal();
  scratch_.clear();
  AppendStateJson(scratch_, game_.GameRoom(), game_.Stats(), Counters(), Clock(), chatPushed_,
                  resultsPushed_);
  chatPushed_ = journal.ChatCount();
  resultsPushed_ = journal.ResultCount();
  const QByteArray message(scratch_.data(), static_cast<qsizetype>(scratch_.size()));
  std::vector<QWebSocket*> unread;
  for (auto& [raw, viewer] : viewers_) {
    if (raw->bytesToWrite() > kMaxWebUnsentBytes) {
      unread.push_back(raw);
      continue;
    }
    raw->sendBinaryMessage(message);
    game_.Stats().Sent(Side::Web, game_.Uptime(), static_cast<uint64_t>(message.size()));
  }
  // Viewers that do not read go, each by its own disconnected signal.
  for (QWebSocket* raw : unread) {
    ++counters_.DroppedConnections;
    raw->abort();
  }
  Busy(start);
}

void WebServer::Busy(std::chrono::steady_clock::time_point start) {
  counters_.BusySeconds +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

WebClock WebServer::Clock() const {
  return WebClock{game_.Now(), game_.Uptime()};
}

WebCounters WebServer::Counters() const {
  WebCounters counters = counters_;
  counters.Connections = static_cast<int>(connections_.size());
  counters.Viewers = static_cast<int>(viewers_.size());
  return counters;
}

}  // namespace velmora::server
