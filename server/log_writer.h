// The server log's way out: lines go to a file descriptor from a thread of
// their own, so that a reader that is slow or has stopped never holds up the
// game loop.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace velmora::server {

// Bytes of lines that may wait for the descriptor; lines past that are
// dropped, and the next line that fits is preceded by one saying how many.
inline constexpr std::size_t kMaxQueuedLogBytes = 1024 * 1024;

class LogWriter {
 public:
  explicit LogWriter(int fd, std::size_t maxQueuedBytes = kMaxQueuedLogBytes);
  // Writes what is still queued, giving up once the descriptor has taken
  // nothing for a second.
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // Queues one line (the line end is added) and returns at once.
  void Write(std::string_view line);

 private:
  void Run();
  // Writes all of `bytes`; false when the descriptor failed, or took nothing
  // for a second after the writer was told to stop.
  bool WriteOut(std::string_view bytes);

  const int fd_;
  const std::size_t maxQueued_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::string queue_;        // guarded by mutex_
  std::size_t dropped_ = 0;  // lines dropped since the last report; guarded by mutex_
  bool stop_ = false;        // guarded by mutex_
  std::thread thread_;
};

}  // namespace velmora::server
