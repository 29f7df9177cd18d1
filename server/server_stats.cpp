#include "server/server_stats.h"

#include <algorithm>
#include <vector>

namespace velmora::server {

void ServerStats::RoundDone(uint64_t atMs, double seconds) {
  ++rounds_;
  roundSecondsSum_ += seconds;
  const auto bound = std::lower_bound(kRoundBuckets.begin(), kRoundBuckets.end(), seconds);
  ++buckets_[static_cast<std::size_t>(bound - kRoundBuckets.begin())];
  recent_.push_back(Round{atMs, static_cast<float>(seconds)});
  while (!recent_.empty() && atMs - recent_.front().AtMs >= kRoundWindowMs) recent_.pop_front();
}

ServerStats::Second& ServerStats::SecondOf(uint64_t atMs) {
  const uint64_t number = atMs / 1000;
  Second& second = seconds_[number % seconds_.size()];
  if (second.Number != number) second = Second{number, 0, 0};
  return second;
}

void ServerStats::Sent(Side side, uint64_t atMs, uint64_t bytes) {
  sent_[static_cast<int>(side)] += bytes;
  SecondOf(atMs).Sent += bytes;
}

void ServerStats::Received(Side side, uint64_t atMs, uint64_t bytes) {
  received_[static_cast<int>(side)] += bytes;
  SecondOf(atMs).Received += bytes;
}

RecentFigures ServerStats::Recent(uint64_t nowMs) const {
  RecentFigures f;
  // Rounds: those started within the rate window, over its length or the
  // time the server has run, whichever is shorter.
  const double rateSpan = static_cast<double>(std::min(nowMs, kRateWindowMs)) / 1000.0;
  std::vector<float> times;
  times.reserve(recent_.size());
  std::size_t inRateWindow = 0;
  for (const Round& r : recent_) {
    if (nowMs - r.AtMs >= kRoundWindowMs) continue;
    times.push_back(r.Seconds);
    inRateWindow += nowMs - r.AtMs < kRateWindowMs ? 1 : 0;
  }
  if (rateSpan > 0) f.RoundsPerSecond = static_cast<double>(inRateWindow) / rateSpan;
  if (!times.empty()) {
    const auto middle = times.begin() + static_cast<std::ptrdiff_t>(times.size() / 2);
    std::nth_element(times.begin(), middle, times.end());
    f.RoundMedianMs = *middle * 1000.0;
    f.RoundMaxMs = *std::max_element(times.begin(), times.end()) * 1000.0;
  }
  // Bytes: the whole seconds before the current one.
  const uint64_t current = nowMs / 1000;
  const uint64_t span = std::min<uint64_t>(current, kRateWindowMs / 1000);
  uint64_t sent = 0;
  uint64_t received = 0;
  for (const Second& s : seconds_) {
    if (s.Number < current && s.Number + span >= current) {
      sent += s.Sent;
      received += s.Received;
    }
  }
  if (span > 0) {
    f.SentPerSecond = static_cast<double>(sent) / static_cast<double>(span);
    f.ReceivedPerSecond = static_cast<double>(received) / static_cast<double>(span);
  }
  return f;
}

}  // namespace velmora::server
