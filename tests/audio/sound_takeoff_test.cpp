// What a user hears on a take-off, recorded by OpenAL Soft's wave-file
// backend: the core runs in real time, full thrust is set two seconds in, and
// the recording must show the engines rising after the key and each spoken
// call starting at the moment its line entered the log.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/controls.h"
#include "app/tick.h"
#include "cockpit/sound_scene.h"
#include "tests/support/temp_file.h"
#include "tests/support/test_vehicles.h"
#include "audio/sound_output.h"
#include "vehicle/geometry.h"

namespace velmora::audio {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 22050;            // Hz of the recording
constexpr double kCallTolerance = 0.1;  // s between a logged line and its voice
constexpr double kKeyTime = 2.0;        // s into the run when full thrust is set
constexpr double kMaxLatency = 0.3;     // s the output's buffering may delay every sound

class RealClock final : public app::TClock {
 public:
  uint32_t SystemMilliseconds() const override {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
  }
};

struct TSpokenLine {
  cockpit::sound::TSound Call;
  double Time;  // s since the recording started
};

double Rms(const std::vector<int16_t>& samples, double from, double to) {
  const auto a = static_cast<std::size_t>(from * kRate);
  const auto b = std::min(samples.size(), static_cast<std::size_t>(to * kRate));
  double sum = 0;
  for (std::size_t i = a; i < b; ++i) sum += double(samples[i]) * samples[i];
  return b > a ? std::sqrt(sum / double(b - a)) : 0;
}

// Where in [from, to) s the call's first 0.2 s are found in the recording:
// the offset of the best normalised correlation. The call plays at its own
// pitch and rate, so its samples are in the recording as they are in the file,
// under the engines. Every 4th offset is tried, then each one beside the best
// of those: the same offset for a fraction of the work, which a sanitizer
// build on a busy machine would otherwise spend minutes on.
double BestFit(const std::vector<int16_t>& recording, const std::vector<int16_t>& call, double from,
               double to) {
  constexpr std::size_t kStride = 4;  // samples between the offsets tried first
  const std::size_t n = std::min<std::size_t>(call.size(), kRate / 5);
  const auto first = static_cast<std::size_t>(std::max(0.0, from) * kRate);
  const std::size_t end = std::min(static_cast<std::size_t>(to * kRate),
                                   recording.size() >= n ? recording.size() - n + 1 : 0);
  double bestScore = -2;
  std::size_t best = first;
  const auto tryAt = [&](std::size_t at) {
    double dot = 0, energy = 0;
    for (std::size_t i = 0; i < n; i += 2) {
      dot += double(call[i]) * recording[at + i];
      energy += double(recording[at + i]) * recording[at + i];
    }
    const double score = energy > 0 ? dot / std::sqrt(energy) : 0;
    if (score > bestScore) {
      bestScore = score;
      best = at;
    }
  };
  for (std::size_t at = first; at < end; at += kStride) tryAt(at);
  const std::size_t coarse = best;
  for (std::size_t at = std::max(first, coarse - std::min(coarse, kStride - 1));
       at < std::min(end, coarse + kStride); ++at) {
    tryAt(at);
  }
  return double(best) / kRate;
}

TEST(SoundTakeOff, EnginesRiseWithTheThrottleAndCallsAreHeardWhenLogged) {
  const std::string recording = testing::TestFilePath("heard.wav").string();
  const auto conf =
      testing::WriteTestFile("alsoft.conf",
                             "[general]\ndrivers = wave\nfrequency = 22050\nchannels = mono\n"
                             "sample-type = int16\nperiod_size = 256\n[wave]\nfile = " +
                                 recording + "\n");
  setenv("ALSOFT_CONF", conf.c_str(), 1);
  setenv("ALSOFT_DRIVERS", "wave", 1);

  auto owner = std::make_unique<state::TMainState>();
  state::TMainState& s = *owner;
  testing::FillTestForms(s);
  testing::PlaceOwn(s, vehicle::kKindAircraft, testing::kAirlinerGearDown);
  s.Own.Flap = 10;
  s.Start = s.Own;  // a server mission
  s.Gear = s.GearSet = s.GearCommand = 1;
  s.FlapSet = s.FlapCommand = 10;
  s.ThrottleMax = 3.9;
  s.Throttle = 0;
  RealClock clock;
  s.Own.Time = static_cast<int32_t>(clock.SystemMilliseconds());

  TSoundOutput output;
  std::string error, problems;
  ASSERT_TRUE(output.Open(VELMORA_DATA_DIR, error, problems)) << error;
  ASSERT_EQ(problems, "");
  const Clock::time_point start = Clock::now();
  const auto since = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };

  cockpit::sound::TSoundScene scene;
  app::TTickHooks hooks;
  std::vector<TSpokenLine> spoken;
  std::size_t logged = 0;
  double climbing = 0;  // s when "Positive climb" was logged
  bool keyDown = false;
  for (Clock::time_point next = start; since() < 60 && (climbing == 0 || since() < climbing + 3);
       next += std::chrono::milliseconds(10)) {
    std::this_thread::sleep_until(next);
    if (!keyDown && since() >= kKeyTime) {
      int32_t key = app::kKeyF4;
      app::OnKeyDown(s, key, 0, clock.SystemMilliseconds());
      keyDown = true;
    }
    // Rotate from 75 m/s to 8° nose up.
    s.PitchInput = (vehicle::GroundSpeed(s.Own) > 75 && s.Own.Pitch < 8) ? 1 : 0;
    app::Tick(s, clock, {}, hooks);
    cockpit::sound::UpdateScene(s, clock.SystemMilliseconds(), scene);
    output.Play(scene);
    for (; logged < s.MessageLog.size(); ++logged) {
      for (int c = 0; c < state::kCallCount; ++c) {
        const auto call = static_cast<state::TCall>(c);
        if (s.MessageLog[logged] == state::CallText(call)) {
          spoken.push_back({cockpit::sound::CallVoice(call), since()});
        }
      }
      if (s.MessageLog[logged] == "機長> Positive climb.") climbing = since();
    }
  }
  output.Close();  // finishes the file

  TSoundSamples heard;
  ASSERT_EQ(ReadSoundFile(recording, heard), "");
  ASSERT_EQ(heard.Rate, kRate);

  // The engines: louder a few seconds after the key than before it.
  EXPECT_GT(Rms(heard.Samples, kKeyTime + 4, kKeyTime + 5), 1.5 * Rms(heard.Samples, 1, kKeyTime));

  // The take-off calls, each where the log put it; a call logged while the
  // crew still speaks the one before follows it, as a crew speaks. The output
  // lags by its buffering, the same for every sound: each call's lag stays
  // within the tolerance of the calls' median lag, and that is short.
  ASSERT_GE(spoken.size(), 6u);  // 80, V, 1, VR, V2, positive climb
  std::vector<double> lags;
  double speaking = 0;  // s when the call before ends
  for (const TSpokenLine& line : spoken) {
    TSoundSamples call;
    ASSERT_EQ(
        ReadSoundFile(
            std::string(VELMORA_DATA_DIR) + "/" + std::string(cockpit::sound::SoundFile(line.Call)), call),
        "");
    const double due = std::max(line.Time, speaking);
    lags.push_back(BestFit(heard.Samples, call.Samples, due - 0.2, due + 0.6) - due);
    speaking = due + double(call.Samples.size()) / call.Rate;
  }
  std::vector<double> sorted = lags;
  std::sort(sorted.begin(), sorted.end());
  const double latency = sorted[sorted.size() / 2];
  EXPECT_GE(latency, -kCallTolerance);
  EXPECT_LE(latency, kMaxLatency);
  std::printf("output latency %.3f s; each call's lag off it:", latency);
  for (double lag : lags) std::printf(" %+.3f", lag - latency);
  std::printf(" s\n");
  for (std::size_t i = 0; i < spoken.size(); ++i) {
    SCOPED_TRACE(std::string(cockpit::sound::SoundFile(spoken[i].Call)));
    EXPECT_NEAR(lags[i], latency, kCallTolerance);
  }
}

}  // namespace
}  // namespace velmora::audio
