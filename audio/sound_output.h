// The sound output: plays the core's sound scene through OpenAL Soft, which
// mixes the voices, places them around the listener and shifts them by
// Doppler. The sounds are WAV files of the installation, read with
// libsndfile. Without an audio device the output stays closed and the
// program runs silent.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cockpit/sound_scene.h"

namespace velmora::audio {

// One sound file's samples: mono 16-bit at its own rate.
struct TSoundSamples {
  std::vector<int16_t> Samples;
  int32_t Rate = 0;  // Hz
};

// Reads a sound file; on failure returns why ("見つかりません",
// "WAV ではありません", "途中で切れています") and leaves samples empty.
// Several channels are mixed down to one.
std::string ReadSoundFile(const std::string& path, TSoundSamples& samples);

class TSoundOutput {
 public:
  TSoundOutput() = default;
  TSoundOutput(const TSoundOutput&) = delete;
  TSoundOutput& operator=(const TSoundOutput&) = delete;
  ~TSoundOutput();

  // Opens the default audio device and loads every sound from dataDir.
  // Returns false, with one line in error, when there is no device. Files
  // that could not be read are named in problems, one message for all of
  // them; their sounds stay silent and the rest play.
  bool Open(const std::string& dataDir, std::string& error, std::string& problems);
  bool IsOpen() const { return device_ != nullptr; }

  // Plays one tick's scene: loops start, follow and stop with their voices,
  // one-shot voices start, the crew's calls are spoken one after another.
  void Play(const cockpit::sound::TSoundScene& scene);

  // Master volume 0..1 and mute; both act at once.
  void SetVolume(double volume);
  // Each group's level 0..1, by cockpit::sound::TSoundGroup; from the next tick.
  void SetGroupLevels(const std::array<double, cockpit::sound::kSoundGroupCount>& levels);
  void SetMuted(bool muted);
  bool Muted() const { return muted_; }

  void Close();

 private:
  struct TChannel {
    uint32_t Source = 0;  // the OpenAL source
    bool Loop = false;    // holds a loop voice
    uint32_t Owner = 0;   // the loop voice's source vehicle
    cockpit::sound::TSound Sound = cockpit::sound::TSound::Count;
    bool Seen = false;  // the loop voice is in this tick's scene
  };
  static constexpr int kChannels = cockpit::sound::kMaxVoices;

  TChannel* LoopChannel(const cockpit::sound::TVoice& voice);
  TChannel* FreeChannel();
  void ApplyGain();
  double Level(const cockpit::sound::TVoice& voice) const;

  void* device_ = nullptr;                              // ALCdevice
  void* context_ = nullptr;                             // ALCcontext
  std::array<uint32_t, cockpit::sound::kSoundCount> buffers_{};  // 0: sound not loaded
  std::array<TChannel, kChannels> channels_{};
  uint32_t speech_ = 0;  // the source the calls are queued on, in order
  double volume_ = 1;
  std::array<double, cockpit::sound::kSoundGroupCount> levels_{1, 1, 1, 1};
  bool muted_ = false;
};

}  // namespace velmora::audio
