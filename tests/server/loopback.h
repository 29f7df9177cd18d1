// A velmora-server process on a free loopback port, and scripted clients that
// talk to it over plain sockets. Every wait is bounded by a deadline.
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
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Starts the server with the given arguments and "--port 0"; its standard
// error goes to logPath, or with an empty logPath into a pipe that nobody
// reads. Port() is 0 when it did not come up in time.
class ServerProcess {
 public:
  ServerProcess(const std::string& executable, std::vector<std::string> arguments,
                const std::string& logPath, milliseconds timeout = milliseconds(10000)) {
    int out[2];
    if (pipe(out) != 0) return;
    int unread[2] = {-1, -1};
    if (logPath.empty() && pipe(unread) != 0) return;
    arguments.insert(arguments.begin(), {executable, "--port", "0"});
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      const int log =
          logPath.empty() ? unread[1] : open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (log >= 0) dup2(log, STDERR_FILENO);
      close(out[0]);
      close(out[1]);
      std::vector<char*> argv;
      for (std::string& a : arguments) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(executable.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
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
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
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

  // Ends the server: SIGTERM, and SIGKILL when it has not gone within 5 s.
  void Stop() {
    if (unreadLog_ >= 0) close(unreadLog_);
    unreadLog_ = -1;
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
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

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  int webPort_ = 0;
  int unreadLog_ = -1;
};

// CPU time of a process, seconds: the nanoseconds its threads ran, from
// /proc/PID/task/*/schedstat, else utime + stime (clock ticks, 10 ms steps
// that blur a few milliseconds per round) from /proc/PID/stat.
inline double ProcessCpuSeconds(pid_t pid) {
  std::error_code error;
  unsigned long long ranNs = 0;
  bool ran = false;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    std::ifstream schedstat(task.path() / "schedstat");
    unsigned long long ns = 0;
    if (schedstat >> ns) ranNs += ns, ran = true;
  }
  if (ran) return static_cast<double>(ranNs) * 1e-9;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) {
      stime = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

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

// Empty connections at a steady rate, from a thread of its own: round-robin
// from `addresses` loopback addresses 127.0.0.2, 127.0.0.3, …, each held
// open (sending nothing) until `held` newer ones are. Stops after `duration`
// or when destroyed, and closes them all.
class ConnectionFlood {
 public:
  ConnectionFlood(int port, int addresses, int perSecond, milliseconds duration, int held = 500)
      : thread_([=, this] { Run(port, addresses, perSecond, duration, held); }) {}
  ~ConnectionFlood() {
    stop_ = true;
    thread_.join();
  }
  ConnectionFlood(const ConnectionFlood&) = delete;
  ConnectionFlood& operator=(const ConnectionFlood&) = delete;

  int Opened() const { return opened_; }

 private:
  void Run(int port, int addresses, int perSecond, milliseconds duration, int held) {
    std::deque<int> open;
    const auto start = Clock::now();
    const auto spacing = std::chrono::microseconds(1000000 / perSecond);
    for (long i = 0; !stop_ && Clock::now() - start < duration; ++i) {
      std::this_thread::sleep_until(start + i * spacing);
      const int fd = OpenFrom("127.0.0." + std::to_string(2 + i % addresses), port);
      if (fd < 0) continue;
      ++opened_;
      open.push_back(fd);
      if (static_cast<int>(open.size()) > held) {
        close(open.front());
        open.pop_front();
      }
    }
    for (const int fd : open) close(fd);
  }

  std::atomic<bool> stop_{false};
  std::atomic<int> opened_{0};
  std::thread thread_;
};

// One client's login for RunLogins: from `Source`, `StartAfter` the run
// began. TookMs is set once the server accepted it, counted from its first
// connection.
struct LoginRun {
  std::string Source;
  std::string Handle;
  milliseconds StartAfter{0};
  std::optional<double> TookMs;
  int Tries = 0;
  int Fd = -1;  // the accepted connection while it is kept
  // Progress of the current try.
  bool Sent = false;
  bool GaveUp = false;
  std::string Buffer;
  Clock::time_point StartedAt{};
  Clock::time_point RetryAt{};
};

// Logs every client in over connections of its own, all at once, each as a
// program does: it connects, sends its login and waits for the reply. A try
// the server closes or refuses is repeated after 50 ms when `retry`, else
// given up. Each client waits at most `limit` from its start. Accepted
// connections stay open in LoginRun::Fd when `keep`, else close at once.
inline void RunLogins(int port, std::vector<LoginRun>& runs, milliseconds limit, bool retry,
                      bool keep) {
  const std::string login = "52566771;20;1;30;guest\ttovel\t0;";
  const auto begin = Clock::now();
  const auto fail = [&](LoginRun& r, Clock::time_point now) {
    close(r.Fd);
    r.Fd = -1;
    r.GaveUp = !retry;
    r.RetryAt = now + milliseconds(50);
  };
  for (;;) {
    auto now = Clock::now();
    bool waiting = false;
    std::vector<pollfd> polls;
    std::vector<LoginRun*> owners;
    for (LoginRun& r : runs) {
      if (r.TookMs || r.GaveUp) continue;
      const auto startAt = begin + r.StartAfter;
      if (now >= startAt + limit) {
        if (r.Fd >= 0) close(r.Fd);
        r.Fd = -1;
        r.GaveUp = true;
        continue;
      }
      waiting = true;
      if (now < startAt || (r.Fd < 0 && now < r.RetryAt)) continue;
      if (r.Fd < 0) {
        if (r.Tries++ == 0) r.StartedAt = now;
        r.Sent = false;
        r.Buffer.clear();
        r.Fd = OpenFrom(r.Source, port);
        if (r.Fd < 0) {
          r.RetryAt = now + milliseconds(50);
          continue;
        }
      }
      polls.push_back(pollfd{r.Fd, static_cast<short>(POLLIN | (r.Sent ? 0 : POLLOUT)), 0});
      owners.push_back(&r);
    }
    if (!waiting) return;
    if (polls.empty()) {
      usleep(1000);
      continue;
    }
    if (poll(polls.data(), polls.size(), 5) <= 0) continue;
    now = Clock::now();
    for (std::size_t i = 0; i < polls.size(); ++i) {
      LoginRun& r = *owners[i];
      const short events = polls[i].revents;
      if (events == 0) continue;
      if (!r.Sent && (events & POLLOUT) != 0) {
        const std::string bytes = login + r.Handle;
        if (send(r.Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) {
          fail(r, now);
          continue;
        }
        r.Sent = true;
      }
      if ((events & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
      char chunk[4096];
      const ssize_t n = recv(r.Fd, chunk, sizeof chunk, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINPROGRESS)) {
        fail(r, now);
        continue;
      }
      if (n > 0) r.Buffer.append(chunk, static_cast<std::size_t>(n));
      if (r.Buffer.rfind("52566771;30;", 0) == 0) {
        r.TookMs = std::chrono::duration<double, std::milli>(now - r.StartedAt).count();
        if (!keep) {
          close(r.Fd);
          r.Fd = -1;
        }
      } else if (r.Buffer.find('\n') != std::string::npos) {
        fail(r, now);  // refused
      }
    }
  }
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
  int Fd() const { return fd_; }

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
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (left.count() < 0) return std::nullopt;
      std::optional<std::string> line = ReadLine(left);
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
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left.count() < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) return false;
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
  const auto left = [&] {
    return std::max(milliseconds(0),
                    std::chrono::duration_cast<milliseconds>(deadline - Clock::now()));
  };
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
