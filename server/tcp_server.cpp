#include "server/tcp_server.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <cstdio>

namespace velmora::server {
namespace {

// A client that stops reading is dropped before its unsent lines pile up.
constexpr qint64 kMaxUnsentBytes = 4 * 1024 * 1024;
// What one client's socket holds for the room at a time: a burst is read and
// relayed a piece per turn of the event loop, so lines already sent drain
// between the pieces and the chat limit stops a flood before it piles up.
constexpr qint64 kMaxReadPerTurn = 64 * 1024;

RoomConfig ConfigFrom(const ServerOptions& options) {
  RoomConfig config;
  config.WorldNo = options.WorldNo;
  config.RoomNo = options.RoomNo;
  config.IntervalMs = options.IntervalMs;
  config.MaxUsers = options.MaxUsers;
  return config;
}

}  // namespace

TcpServer::TcpServer(const ServerOptions& options, MissionsFile missions)
    : options_(options), room_(ConfigFrom(options), std::move(missions), *this) {
  clock_.start();
  QObject::connect(&listener_, &QTcpServer::newConnection, [this] { Accept(); });
  rounds_.setTimerType(Qt::PreciseTimer);
  rounds_.setInterval(options.IntervalMs);
  QObject::connect(&rounds_, &QTimer::timeout, [this] { room_.Broadcast(Now()); });
}

TcpServer::~TcpServer() {
  for (auto& [id, client] : clients_) {
    QObject::disconnect(client.Socket, nullptr, nullptr, nullptr);
    client.Socket->abort();
    delete client.Socket;
  }
}

bool TcpServer::Listen(QString& error) {
  QHostAddress address;
  if (!address.setAddress(QString::fromStdString(options_.Address))) {
    error = QStringLiteral("'%1' is not an IP address").arg(QString::fromStdString(options_.Address));
    return false;
  }
  if (!listener_.listen(address, static_cast<quint16>(options_.Port))) {
    error = listener_.errorString();
    return false;
  }
  rounds_.start();
  return true;
}

void TcpServer::Accept() {
  while (QTcpSocket* socket = listener_.nextPendingConnection()) {
    const ConnectionId id = nextId_++;
    if (!room_.Connect(id, Now(), socket->peerAddress().toString().toStdString())) {
      socket->abort();
      socket->deleteLater();
      continue;
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    socket->setReadBufferSize(kMaxReadPerTurn);
    Client& client = clients_[id];
    client.Socket = socket;
    client.Grace = std::make_unique<QTimer>();
    client.Grace->setSingleShot(true);
    client.Grace->setInterval(kLoginGraceMs);
    QObject::connect(client.Grace.get(), &QTimer::timeout, [this, id] {
      room_.GraceExpired(id, Now());
    });
    QObject::connect(socket, &QTcpSocket::readyRead, [this, id] { Read(id); });
    // Queued: a socket may report its end while the room is sending a round.
    QObject::connect(
        socket, &QTcpSocket::disconnected, socket,
        [this, id] {
          room_.Disconnect(id);
          Forget(id);
        },
        Qt::QueuedConnection);
    Log("connection " + std::to_string(id) + " from " +
        socket->peerAddress().toString().toStdString() + ":" +
        std::to_string(socket->peerPort()));
  }
}

void TcpServer::Read(ConnectionId id) {
  const auto it = clients_.find(id);
  if (it == clients_.end()) return;
  const QByteArray bytes = it->second.Socket->read(kMaxReadPerTurn);
  room_.Receive(id, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())),
                Now());
  // The room may have closed the connection meanwhile.
  const auto again = clients_.find(id);
  if (again == clients_.end()) return;
  if (room_.HasPendingInput(id)) {
    again->second.Grace->start();
  } else {
    again->second.Grace->stop();
  }
  // More waiting: take it on a later turn, after the others had theirs.
  if (again->second.Socket->bytesAvailable() > 0) {
    QTimer::singleShot(0, again->second.Socket, [this, id] { Read(id); });
  }
}

void TcpServer::Send(ConnectionId id, std::string_view bytes) {
  const auto it = clients_.find(id);
  if (it == clients_.end()) return;
  Client& client = it->second;
  if (client.Overflowing) return;
  if (client.Socket->bytesToWrite() > kMaxUnsentBytes) {
    // The room is in the middle of sending: drop the client once it is done.
    client.Overflowing = true;
    QTimer::singleShot(0, client.Socket, [this, id] {
      Log("connection " + std::to_string(id) + " does not read its lines; closing it");
      room_.Disconnect(id);
      Close(id);
    });
    return;
  }
  client.Socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
}

void TcpServer::Close(ConnectionId id) {
  const auto it = clients_.find(id);
  if (it == clients_.end()) return;
  QTcpSocket* socket = it->second.Socket;
  QObject::disconnect(socket, nullptr, nullptr, nullptr);
  socket->abort();
  Forget(id);
}

void TcpServer::Forget(ConnectionId id) {
  const auto it = clients_.find(id);
  if (it == clients_.end()) return;
  QObject::disconnect(it->second.Socket, nullptr, nullptr, nullptr);
  it->second.Socket->deleteLater();
  clients_.erase(it);
}

void TcpServer::Log(std::string_view line) {
  const double seconds = static_cast<double>(clock_.elapsed()) / 1000.0;
  std::fprintf(stderr, "[%10.3f] %.*s\n", seconds, static_cast<int>(line.size()), line.data());
  std::fflush(stderr);
}

}  // namespace velmora::server
