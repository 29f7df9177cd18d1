#include "server/log_writer.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velmora::server {
namespace {

// Pieces small enough for a pipe to take whole once poll says it has room.
constexpr std::size_t kPieceBytes = 4096;
constexpr int kPollMs = 100;
constexpr int kStopPatienceMs = 1000;

}  // namespace

LogWriter::LogWriter(int fd, std::size_t maxQueuedBytes)
    : fd_(fd), maxQueued_(maxQueuedBytes), thread_([this] { Run(); }) {}

LogWriter::~LogWriter() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void LogWriter::Write(std::string_view line) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::string notice;
    if (dropped_ > 0) {
      notice = std::to_string(dropped_) + " log lines dropped: the log was not read in time\n";
    }
    if (queue_.size() + notice.size() + line.size() + 1 > maxQueued_) {
      ++dropped_;
      return;
    }
    queue_ += notice;
    queue_ += line;
    queue_ += '\n';
    dropped_ = 0;
  }
  wake_.notify_one();
}

void LogWriter::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (queue_.empty()) return;  // told to stop, and nothing left
    std::string bytes;
    bytes.swap(queue_);
    lock.unlock();
    const bool written = WriteOut(bytes);
    lock.lock();
    if (!written && stop_) return;
  }
}

bool LogWriter::WriteOut(std::string_view bytes) {
  int waitedMs = 0;
  while (!bytes.empty()) {
    pollfd p{fd_, POLLOUT, 0};
    const int ready = poll(&p, 1, kPollMs);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) {
      waitedMs += kPollMs;
      const std::lock_guard<std::mutex> lock(mutex_);
      if (stop_ && waitedMs >= kStopPatienceMs) return false;
      continue;
    }
    if ((p.revents & (POLLERR | POLLNVAL)) != 0) return false;
    const ssize_t n = write(fd_, bytes.data(), std::min(bytes.size(), kPieceBytes));
    if (n < 0 && errno != EINTR && errno != EAGAIN) return false;
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      waitedMs = 0;
    }
  }
  return true;
}

}  // namespace velmora::server
