// The server's health over time, for its web side: rounds and how long each
// took, and the bytes that went in and out. Times are ms of the server's
// clock (the same as the room's, but 64 bits wide).
#pragma once

#include <array>
#include <cstdint>
#include <deque>

namespace velmora::server {

// Upper bounds of the round-time histogram's buckets, seconds; the last
// bucket takes the rest.
inline constexpr std::array<double, 10> kRoundBuckets = {0.0001, 0.0002, 0.0005, 0.001, 0.002,
                                                         0.005,  0.01,   0.02,   0.05,  0.1};
// Round times are summed up over this window; rates over the shorter one, so
// that they follow a change within seconds.
inline constexpr uint64_t kRoundWindowMs = 60000;
inline constexpr uint64_t kRateWindowMs = 10000;

// Which side of the server moved the bytes.
enum class Side { Game, Web };

struct RecentFigures {
  double RoundsPerSecond = 0;  // over kRateWindowMs (or the uptime, when shorter)
  double RoundMedianMs = 0;    // round time over kRoundWindowMs; 0 without rounds
  double RoundMaxMs = 0;
  double SentPerSecond = 0;  // bytes, both sides, over kRateWindowMs
  double ReceivedPerSecond = 0;
};

class ServerStats {
 public:
  // A round that started at atMs and took `seconds` of work.
  void RoundDone(uint64_t atMs, double seconds);
  void Sent(Side side, uint64_t atMs, uint64_t bytes);
  void Received(Side side, uint64_t atMs, uint64_t bytes);

  RecentFigures Recent(uint64_t nowMs) const;

  uint64_t Rounds() const { return rounds_; }
  double RoundSecondsSum() const { return roundSecondsSum_; }
  // Rounds in each bucket of kRoundBuckets, and past the last bound; not cumulative.
  const std::array<uint64_t, kRoundBuckets.size() + 1>& RoundBucketCounts() const {
    return buckets_;
  }
  uint64_t BytesSent(Side side) const { return sent_[static_cast<int>(side)]; }
  uint64_t BytesReceived(Side side) const { return received_[static_cast<int>(side)]; }

 private:
  struct Round {
    uint64_t AtMs;
    float Seconds;
  };
  // Bytes of one second of the clock.
  struct Second {
    uint64_t Number = UINT64_MAX;
    uint64_t Sent = 0;
    uint64_t Received = 0;
  };
  Second& SecondOf(uint64_t atMs);

  uint64_t rounds_ = 0;
  double roundSecondsSum_ = 0;
  std::array<uint64_t, kRoundBuckets.size() + 1> buckets_{};
  std::deque<Round> recent_;  // the rounds of the last kRoundWindowMs
  std::array<Second, kRateWindowMs / 1000 + 2> seconds_{};
  uint64_t sent_[2] = {};
  uint64_t received_[2] = {};
};

}  // namespace velmora::server
