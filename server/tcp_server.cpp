#include "server/tcp_server.h"

#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QHostAddress>
#include <QTcpSocket>

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace velmora::server {
namespace {

// A client that stops reading is dropped before its unsent lines pile up.
constexpr qint64 kMaxUnsentBytes = 4 * 1024 * 1024;
// What one client's socket holds for the room at a time: a burst is read and
// relayed a piece per turn of the event loop, so lines already sent drain
// between the pieces and the chat limit stops a flood before it piles up.
constexpr qint64 kMaxReadPerTurn = 64 * 1024;
// Connections the system may hold for the server to accept: a burst of them
// (a restart that brings every client back at once) must not wait for the
// retries of refused handshakes.
constexpr int kListenBacklog = 1024;
// How often the server looks whether its users take what it sends them.
constexpr int kReadingCheckMs = 250;

RoomConfig ConfigFrom(const ServerOptions& options) {
  RoomConfig config;
  config.WorldNo = options.WorldNo;
  config.RoomNo = options.RoomNo;
  config.IntervalMs = options.IntervalMs;
  config.MaxUsers = options.MaxUsers;
  config.MaxUsersPerAddress = options.MaxUsersPerAddress;
  config.IdleLimitMs = static_cast<uint32_t>(options.IdleLimitSeconds) * 1000u;
  return config;
}

}  // namespace

TcpServer::TcpServer(const ServerOptions& options, MissionsFile missions)
    : log_(STDERR_FILENO),
      options_(options),
      room_(ConfigFrom(options), std::move(missions), *this) {
  clock_.start();
  QObject::connect(&listener_, &QTcpServer::newConnection, [this] { Accept(); });
  rounds_.setTimerType(Qt::PreciseTimer);
  rounds_.setInterval(options.IntervalMs);
  QObject::connect(&rounds_, &QTimer::timeout, [this] { Round(); });
  readingCheck_.setInterval(kReadingCheckMs);
  QObject::connect(&readingCheck_, &QTimer::timeout, [this] { CheckReading(); });
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
  listener_.setListenBacklogSize(kListenBacklog);
  if (!listener_.listen(address, static_cast<quint16>(options_.Port))) {
    error = listener_.errorString();
    return false;
  }
  rounds_.start();
  readingCheck_.start();
  return true;
}

void TcpServer::Round() {
  const auto start = std::chrono::steady_clock::now();
  const uint64_t atMs = Uptime();
  room_.Broadcast(static_cast<uint32_t>(atMs));
  stats_.RoundDone(atMs,
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
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
    QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, id](qint64 bytes) {
      const auto it = clients_.find(id);
      if (it != clients_.end()) it->second.Handed += bytes;
    });
  }
}

void TcpServer::Read(ConnectionId id) {
  const auto it = clients_.find(id);
  if (it == clients_.end()) return;
  // Into one buffer for every read: most reads are one small message.
  readBuffer_.resize(static_cast<std::size_t>(kMaxReadPerTurn));
  const qint64 count = it->second.Socket->read(readBuffer_.data(), kMaxReadPerTurn);
  if (count > 0) stats_.Received(Side::Game, Uptime(), static_cast<uint64_t>(count));
  room_.Receive(
      id,
      std::string_view(readBuffer_.data(), static_cast<std::size_t>(std::max<qint64>(count, 0))),
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
  stats_.Sent(Side::Game, Uptime(), bytes.size());
  // With nothing queued the bytes go to the system at once: queueing them
  // would copy them, and wake the event loop twice more for each client in
  // each round, to arm and then disarm its socket for writing. What the
  // system does not take now waits in the socket's queue, ahead of anything
  // sent later.
  if (client.Socket->bytesToWrite() == 0) {
    const ssize_t taken = send(static_cast<int>(client.Socket->socketDescriptor()), bytes.data(),
                               bytes.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (taken > 0) {
      client.Handed += taken;
      bytes.remove_prefix(static_cast<std::size_t>(taken));
    }
    // On an error the queue's write meets it again and reports it.
  }
  if (!bytes.empty()) client.Socket->write(bytes.data(), static_cast<qint64>(bytes.size()));
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

bool TcpServer::InputWaiting(ConnectionId id) {
  const auto it = clients_.find(id);
  if (it == clients_.end()) return false;
  if (it->second.Socket->bytesAvailable() > 0) return true;
  char byte = 0;
  return recv(static_cast<int>(it->second.Socket->socketDescriptor()), &byte, 1,
              MSG_PEEK | MSG_DONTWAIT) > 0;
}

void TcpServer::CheckReading() {
  for (auto& [id, client] : clients_) {
    if (room_.UserOf(id) == 0) continue;
    // What the system still holds for the peer (unsent, or sent and not yet
    // acknowledged): the peer has taken everything else handed over. A peer
    // that has stopped reading takes nothing once its receive window is full.
    int held = 0;
    if (ioctl(static_cast<int>(client.Socket->socketDescriptor()), TIOCOUTQ, &held) != 0) held = 0;
    const qint64 taken = client.Handed - held;
    const bool drained = held == 0 && client.Socket->bytesToWrite() == 0;
    if (taken > client.Taken || drained) room_.Reading(id, Now());
    client.Taken = taken;
  }
}

void TcpServer::Log(std::string_view line) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%10.3f] ", static_cast<double>(clock_.elapsed()) / 1000.0);
  log_.Write(std::string(stamp).append(line));
}

}  // namespace velmora::server
