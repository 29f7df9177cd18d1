// The game server of the tests, on loopback: velmora-server itself as a child
// process, or a server that the test plays, on a thread of its own; and
// scripted clients that talk to either over plain sockets. Every wait is
// bounded by a deadline, and none of them is what a test asserts.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The milliseconds left until `deadline`, never below 0.
inline int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// Starts the server with "--port 0" and the given arguments; its standard
// error goes to logPath, or with an empty logPath into a pipe that nobody
// reads. Port() is 0 when it did not come up within `timeout`.
class ServerProcess {
 public:
  ServerProcess(const std::string& executable, std::vector<std::string> arguments,
                const std::string& logPath, milliseconds timeout = milliseconds(20000))
      : logPath_(logPath) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    int unread[2] = {-1, -1};
    if (logPath.empty() && pipe2(unread, O_CLOEXEC) != 0) return;
    const int log = logPath.empty()
                        ? unread[1]
                        : open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    arguments.insert(arguments.begin(), {executable, "--port", "0"});
    // Everything the child needs is made before the fork: it only
    // redirects and runs the program.
    std::vector<char*> argv;
    for (std::string& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      if (log >= 0) dup2(log, STDERR_FILENO);
      execv(executable.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    if (log >= 0 && log != unread[1]) close(log);
    if (unread[1] >= 0) close(unread[1]);
    unreadLog_ = unread[0];
    // "listening on 127.0.0.1:PORT", and with --http "web page on http://…:PORT/"
    const bool web = std::find(arguments.begin(), arguments.end(), "--http") != arguments.end();
    const auto whole = [&](const std::string& t) {
      return t.find('\n') != std::string::npos &&
             (!web || t.find('\n', t.find("web page on ")) != std::string::npos);
    };
    std::string text;
    const auto deadline = Clock::now() + timeout;
    while (!whole(text) && Clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      if (poll(&p, 1, MsLeft(deadline) + 1) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    const std::size_t colon = text.rfind(':', text.find('\n'));
    if (text.rfind("listening on ", 0) == 0 && colon != std::string::npos) {
      port_ = std::atoi(text.c_str() + colon + 1);
    }
    const std::size_t page = text.find("web page on http://");
    const std::size_t pageEnd = text.find("/\n", page);
    const std::size_t pageColon = text.rfind(':', pageEnd);
    if (page != std::string::npos && pageEnd != std::string::npos && pageColon > page + 12) {
      webPort_ = std::atoi(text.c_str() + pageColon + 1);
    }
  }

  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int Port() const { return port_; }
  // The web side's port when started with --http, else 0.
  int WebPort() const { return webPort_; }
  pid_t Pid() const { return pid_; }

  // What the server has logged so far. The server writes its log from a
  // thread of its own, a little after what the line is about: a test waits
  // for a line rather than looking once.
  std::string Log() const {
    std::ifstream file(logPath_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
  // Waits until the log holds `text`; false when it does not within the timeout.
  bool AwaitLog(const std::string& text, milliseconds timeout) const {
    for (const auto deadline = Clock::now() + timeout; !LogHas(text); usleep(10000)) {
      if (Clock::now() > deadline) return false;
    }
    return true;
  }

  // Ends the server: SIGTERM, and SIGKILL when it has not gone within 5 s.
  void Stop() { End(SIGTERM); }
  // Ends it at once, as a crash or a pulled plug would.
  void Kill() { End(SIGKILL); }

 private:
  void End(int signal) {
    if (unreadLog_ >= 0) close(unreadLog_);
    unreadLog_ = -1;
    if (pid_ <= 0) return;
    kill(pid_, signal);
    const auto deadline = Clock::now() + milliseconds(5000);
    while (waitpid(pid_, nullptr, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        break;
      }
      usleep(10000);
    }
    pid_ = -1;
  }

  std::string logPath_;
  pid_t pid_ = -1;
  int port_ = 0;
  int webPort_ = 0;
  int unreadLog_ = -1;
};

// A server that the test plays: it listens on a free loopback port and
// serves its connections from a thread of its own, so that a program under
// test may run its own event loop meanwhile. It keeps what its latest
// connection sent; `answer`, when given, is called with every piece that any
// connection sends and may reply to it or close it.
class ScriptedServer {
 public:
  // A connection as `answer` sees it.
  class Peer {
   public:
    void Say(std::string_view bytes) { SendAll(fd_, bytes); }
    void Close() { closed_ = true; }

   private:
    friend class ScriptedServer;
    explicit Peer(int fd) : fd_(fd) {}
    int fd_;
    bool closed_ = false;
  };
  using Answer = std::function<void(Peer&, std::string_view received)>;

  explicit ScriptedServer(Answer answer = {}) : answer_(std::move(answer)) {
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) == 0) Listen();
    thread_ = std::thread([this] { Serve(); });
  }
  ~ScriptedServer() {
    Run([this] {
      quit_ = true;
      CloseAll();
    });
    thread_.join();
    close(wake_[0]);
    close(wake_[1]);
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  bool Listening() const { return port_ != 0; }
  uint16_t Port() const { return port_; }
  // Connections taken so far.
  int Connections() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
  }
  // What the latest connection has sent since it came or since ClearReceived.
  std::string Received() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return received_;
  }
  bool HasReceived(std::string_view text) const {
    return Received().find(text) != std::string::npos;
  }
  void ClearReceived() {
    const std::lock_guard<std::mutex> lock(mutex_);
    received_.clear();
  }
  // Sends bytes to the latest connection, in one piece.
  void Say(std::string_view bytes) {
    Run([&] {
      if (!peers_.empty()) SendAll(peers_.back(), bytes);
    });
  }
  // Goes away: every connection closes and nobody listens on the port.
  void Stop() {
    Run([this] { CloseAll(); });
  }
  // Comes back on the same port; false when it cannot.
  bool Restart() {
    bool listening = false;
    Run([&] { listening = listener_ >= 0 || Listen(); });
    return listening;
  }

 private:
  static void SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  // Closes a connection as a peer that has read everything does: the
  // program sees the server go, not a reset.
  static void Hang(int fd) {
    char drain[4096];
    while (recv(fd, drain, sizeof drain, MSG_DONTWAIT) > 0) {
    }
    shutdown(fd, SHUT_WR);
    close(fd);
  }

  void CloseAll() {
    for (const int fd : peers_) Hang(fd);
    peers_.clear();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
    const std::lock_guard<std::mutex> lock(mutex_);
    received_.clear();
  }

  bool Listen() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port_);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 64) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      close(listener_);
      listener_ = -1;
      return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
  }

  // Runs `task` on the server's thread, between two looks at the sockets,
  // and returns when it is done.
  void Run(const std::function<void()>& task) {
    std::unique_lock<std::mutex> lock(mutex_);
    task_ = &task;
    const char byte = 0;
    (void)!write(wake_[1], &byte, 1);
    done_.wait(lock, [this] { return task_ == nullptr; });
  }

  void Serve() {
    while (!quit_) {
      std::vector<pollfd> polls{{wake_[0], POLLIN, 0}};
      if (listener_ >= 0) polls.push_back({listener_, POLLIN, 0});
      for (const int fd : peers_) polls.push_back({fd, POLLIN, 0});
      if (poll(polls.data(), polls.size(), 1000) <= 0) continue;
      if (polls[0].revents != 0) {
        char drain[64];
        while (read(wake_[0], drain, sizeof drain) > 0) {
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (task_ != nullptr) {
          lock.unlock();
          (*task_)();
          lock.lock();
          task_ = nullptr;
          done_.notify_all();
        }
        continue;  // the sockets may have changed
      }
      for (const pollfd& p : polls) {
        if (p.revents == 0) continue;
        if (p.fd == listener_) {
          const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
          if (fd < 0) continue;
          const int one = 1;
          setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          peers_.push_back(fd);
          const std::lock_guard<std::mutex> lock(mutex_);
          ++connections_;
          received_.clear();
        } else {
          Take(p.fd);
        }
      }
    }
  }

  // Reads what a connection sent, answers it, and forgets it once closed.
  void Take(int fd) {
    char chunk[65536];
    const ssize_t n = recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    Peer peer(fd);
    if (n > 0) {
      const std::string_view bytes(chunk, static_cast<std::size_t>(n));
      if (fd == peers_.back()) {
        const std::lock_guard<std::mutex> lock(mutex_);
        received_.append(bytes);
      }
      if (answer_) answer_(peer, bytes);
    }
    if (n <= 0 || peer.closed_) {
      Hang(fd);
      peers_.erase(std::find(peers_.begin(), peers_.end(), fd));
    }
  }

  Answer answer_;
  uint16_t port_ = 0;
  int wake_[2] = {-1, -1};
  // Touched only by the server's thread once it runs.
  int listener_ = -1;
  std::vector<int> peers_;  // the latest last
  bool quit_ = false;
  // Shared with the test's thread.
  mutable std::mutex mutex_;
  std::condition_variable done_;
  const std::function<void()>* task_ = nullptr;
  int connections_ = 0;
  std::string received_;
  std::thread thread_;
};

// A TCP connection to the server's port from `source` (a loopback address,
// so that one machine can stand for many peers); -1 when it cannot be opened.
// Non-blocking unless `blocking`; a receiveBuffer above 0 sets the socket's
// receive buffer (bytes), a maxSegment above 0 its largest segment, before it
// connects.
inline int OpenFrom(const std::string& source, int port, bool blocking = false,
                    int receiveBuffer = 0, int maxSegment = 0) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
  if (fd < 0) return -1;
  if (receiveBuffer > 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  // Small segments keep the server's send buffer for this peer small too.
  if (maxSegment > 0) setsockopt(fd, IPPROTO_TCP, TCP_MAXSEG, &maxSegment, sizeof maxSegment);
  sockaddr_in from{};
  from.sin_family = AF_INET;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (inet_pton(AF_INET, source.c_str(), &from.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0 ||
      (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS)) {
    close(fd);
    return -1;
  }
  return fd;
}

// A scripted client on one TCP connection.
class TestClient {
 public:
  explicit TestClient(int port, const std::string& source = "127.0.0.1", int receiveBuffer = 0,
                      int maxSegment = 0) {
    fd_ = OpenFrom(source, port, true, receiveBuffer, maxSegment);
    if (fd_ < 0) return;
    const int one = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  ~TestClient() {
    if (fd_ >= 0) close(fd_);
  }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool Connected() const { return fd_ >= 0; }
  // Whether a read has found the connection closed by the server.
  bool Closed() const { return closed_; }

  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }

  // The next whole line (with its LF), or nullopt at the deadline or when the
  // server closed the connection.
  std::optional<std::string> ReadLine(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      const std::size_t end = buffer_.find('\n');
      if (end != std::string::npos) {
        std::string line = buffer_.substr(0, end + 1);
        buffer_.erase(0, end + 1);
        return line;
      }
      if (!Fill(deadline)) return std::nullopt;
    }
  }

  // Lines until one satisfies `wanted`; nullopt when none does in time.
  std::optional<std::string> ReadUntil(const std::function<bool(const std::string&)>& wanted,
                                       milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
      std::optional<std::string> line = ReadLine(milliseconds(MsLeft(deadline)));
      if (!line) return std::nullopt;
      if (wanted(*line)) return line;
    }
  }

  // True when the server closes the connection within the timeout (lines
  // still arriving before that are read and dropped).
  bool ClosedWithin(milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
      if (!Fill(deadline)) return closed_;
      buffer_.clear();
    }
    return false;
  }

  // The next `count` bytes, or nullopt at the deadline or when the server
  // closed the connection before they came.
  std::optional<std::string> ReadBytes(std::size_t count, milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (buffer_.size() < count) {
      if (!Fill(deadline)) return std::nullopt;
    }
    std::string bytes = buffer_.substr(0, count);
    buffer_.erase(0, count);
    return bytes;
  }

  // Reads whatever has arrived without waiting.
  void Drain() {
    for (;;) {
      char chunk[65536];
      const ssize_t n = recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n <= 0) return;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  std::string& Buffer() { return buffer_; }

 private:
  bool Fill(Clock::time_point deadline) {
    if (fd_ < 0 || closed_) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, MsLeft(deadline) + 1) <= 0) return false;
    char chunk[65536];
    const ssize_t n = recv(fd_, chunk, sizeof chunk, 0);
    if (n <= 0) {
      closed_ = true;
      return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(n));
    return true;
  }

  int fd_ = -1;
  bool closed_ = false;
  std::string buffer_;
};

// One HTTP response as the web side sends it: status, headers (names in lower
// case) and a body of its Content-Length.
struct HttpResponse {
  int Status = 0;
  std::map<std::string, std::string> Headers;
  std::string Body;
};

// The next response on the connection; nullopt when none came whole in time.
inline std::optional<HttpResponse> ReadHttpResponse(TestClient& client, milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  const auto left = [&] { return milliseconds(MsLeft(deadline)); };
  const std::optional<std::string> status = client.ReadLine(left());
  if (!status || status->rfind("HTTP/1.1 ", 0) != 0) return std::nullopt;
  HttpResponse r;
  r.Status = std::stoi(status->substr(9, 3));
  for (;;) {
    const std::optional<std::string> line = client.ReadLine(left());
    if (!line) return std::nullopt;
    if (*line == "\r\n") break;
    const std::size_t colon = line->find(':');
    if (colon == std::string::npos || line->size() < colon + 4) return std::nullopt;
    std::string name = line->substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    r.Headers[name] = line->substr(colon + 2, line->size() - colon - 4);
  }
  const std::optional<std::string> body =
      client.ReadBytes(std::stoul("0" + r.Headers["content-length"]), left());
  if (!body) return std::nullopt;
  r.Body = *body;
  return r;
}

}  // namespace velmora::testing
