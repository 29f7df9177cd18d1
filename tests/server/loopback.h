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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::testing {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Starts the server with the given arguments and "--port 0"; its standard
// error goes to logPath. Port() is 0 when it did not come up in time.
class ServerProcess {
 public:
  ServerProcess(const std::string& executable, std::vector<std::string> arguments,
                const std::string& logPath, milliseconds timeout = milliseconds(10000)) {
    int out[2];
    if (pipe(out) != 0) return;
    arguments.insert(arguments.begin(), {executable, "--port", "0"});
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
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
    // "listening on 127.0.0.1:PORT"
    std::string text;
    const auto deadline = Clock::now() + timeout;
    while (text.find('\n') == std::string::npos && Clock::now() < deadline) {
      pollfd p{out[0], POLLIN, 0};
      const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
      if (poll(&p, 1, static_cast<int>(left.count()) + 1) <= 0) continue;
      char buffer[256];
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
    }
    close(out[0]);
    const std::size_t colon = text.rfind(':');
    if (text.rfind("listening on ", 0) == 0 && colon != std::string::npos) {
      port_ = std::atoi(text.c_str() + colon + 1);
    }
  }

  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }

  // Ends the server: SIGTERM, and SIGKILL when it has not gone within 5 s.
  void Stop() {
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
};

// A scripted client on one TCP connection.
class TestClient {
 public:
  explicit TestClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd_);
      fd_ = -1;
      return;
    }
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

}  // namespace velmora::testing
