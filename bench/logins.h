// What the server benchmarks measure with: the CPU time of the server
// process, a flood of empty connections, and logins run as many programs
// would run them at once.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/loopback_server.h"

namespace velmora::bench {

using testing::Clock;
using testing::milliseconds;
using testing::OpenFrom;

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
        if (send(r.Fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(bytes.size())) {
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

}  // namespace velmora::bench
