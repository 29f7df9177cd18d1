#include "audio/sound_output.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <fcntl.h>
#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace velmora::audio {
namespace {

constexpr float kMinPitch = 0.1f;  // OpenAL Soft resamples within these bounds
constexpr float kMaxPitch = 4.0f;

ALCdevice* Device(void* p) {
  return static_cast<ALCdevice*>(p);
}
ALCcontext* Context(void* p) {
  return static_cast<ALCcontext*>(p);
}

void Place(ALuint source, const cockpit::sound::TVoice& v, double level) {
  // OpenAL's axes: x right, y up, z backwards; the listener stays at the
  // origin looking along −z, the scene gives every voice relative to it.
  alSource3f(source, AL_POSITION, v.Right, v.Up, -v.Forward);
  alSource3f(source, AL_VELOCITY, v.VRight, v.VUp, -v.VForward);
  alSourcef(source, AL_GAIN, static_cast<float>(v.Gain * level));
  alSourcef(source, AL_PITCH, std::clamp(v.Pitch, kMinPitch, kMaxPitch));
}

// Whether a RIFF file is shorter than its header says: a cut download or
// copy, which the decoder would otherwise read as a shorter sound.
bool CutRiff(const std::string& path, std::uintmax_t size) {
  std::array<unsigned char, 12> head{};
  std::ifstream in(path, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(head.data()), head.size())) return false;
  if (std::string_view(reinterpret_cast<const char*>(head.data()), 4) != "RIFF") return false;
  const std::uintmax_t declared =
      head[4] | head[5] << 8 | head[6] << 16 | static_cast<std::uintmax_t>(head[7]) << 24;
  return declared + 8 > size;
}

// Opens the default device. Unless the user asked OpenAL Soft for its log,
// the probing of the sound systems stays off standard error: a machine
// without sound gets the program's one line, not the libraries' complaints.
ALCdevice* OpenDefaultDevice() {
  if (getenv("ALSOFT_LOGLEVEL") != nullptr) return alcOpenDevice(nullptr);
  setenv("ALSOFT_LOGLEVEL", "0", 0);
  std::fflush(stderr);
  const int saved = dup(STDERR_FILENO);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (saved >= 0 && null >= 0) dup2(null, STDERR_FILENO);
  ALCdevice* device = OpenDefaultDevice();
  if (saved >= 0 && null >= 0) dup2(saved, STDERR_FILENO);
  if (null >= 0) close(null);
  if (saved >= 0) close(saved);
  return device;
}

}  // namespace

std::string ReadSoundFile(const std::string& path, TSoundSamples& samples) {
  samples = {};
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return "見つかりません";
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return "見つかりません";
  if (CutRiff(path, size)) return "途中で切れています";
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return "WAV ではありません";
  const int type = info.format & SF_FORMAT_TYPEMASK;
  const bool wav = type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX;
  if (!wav || info.channels < 1 || info.samplerate < 1000 || info.samplerate > 192000 ||
      info.frames < 1) {
    sf_close(file);
    return "WAV ではありません";
  }
  // The header's length against the samples there are: a cut file reads short.
  const auto frames = static_cast<std::size_t>(info.frames);
  std::vector<int16_t> interleaved(frames * static_cast<std::size_t>(info.channels));
  const sf_count_t read = sf_readf_short(file, interleaved.data(), info.frames);
  sf_close(file);
  if (read != info.frames) return "途中で切れています";
  samples.Rate = info.samplerate;
  samples.Samples.resize(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    int32_t sum = 0;
    for (int c = 0; c < info.channels; ++c) {
      sum += interleaved[i * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(c)];
    }
    samples.Samples[i] = static_cast<int16_t>(sum / info.channels);
  }
  return {};
}

TSoundOutput::~TSoundOutput() {
  Close();
}

bool TSoundOutput::Open(const std::string& dataDir, std::string& error, std::string& problems) {
  Close();
  // The files first: the device starts playing once it is open, so the
  // time the reading takes must not pass on it.
  std::array<TSoundSamples, cockpit::sound::kSoundCount> loaded;
  std::string bad;
  for (int i = 0; i < cockpit::sound::kSoundCount; ++i) {
    const std::string name(cockpit::sound::SoundFile(static_cast<cockpit::sound::TSound>(i)));
    const std::string path = (std::filesystem::path(dataDir) / name).string();
    const std::string why = ReadSoundFile(path, loaded[static_cast<std::size_t>(i)]);
    if (!why.empty()) bad += (bad.empty() ? "" : "、") + name + "（" + why + "）";
  }

  ALCdevice* device = OpenDefaultDevice();
  if (device == nullptr) {
    error = "no audio device: running without sound";
    return false;
  }
  ALCcontext* context = alcCreateContext(device, nullptr);
  if (context == nullptr || alcMakeContextCurrent(context) != ALC_TRUE) {
    if (context != nullptr) alcDestroyContext(context);
    alcCloseDevice(device);
    error = "the audio device cannot play: running without sound";
    return false;
  }
  device_ = device;
  context_ = context;
  // The scene attenuates by distance itself; OpenAL adds direction and Doppler.
  alDistanceModel(AL_NONE);
  alDopplerFactor(1);
  alSpeedOfSound(static_cast<ALfloat>(cockpit::sound::kSpeedOfSound));
  alListener3f(AL_POSITION, 0, 0, 0);
  alListener3f(AL_VELOCITY, 0, 0, 0);
  const ALfloat orientation[] = {0, 0, -1, 0, 1, 0};
  alListenerfv(AL_ORIENTATION, orientation);
  ApplyGain();

  for (std::size_t i = 0; i < loaded.size(); ++i) {
    const TSoundSamples& samples = loaded[i];
    if (samples.Samples.empty()) continue;
    alGenBuffers(1, &buffers_[i]);
    alBufferData(buffers_[i], AL_FORMAT_MONO16, samples.Samples.data(),
                 static_cast<ALsizei>(samples.Samples.size() * sizeof(int16_t)), samples.Rate);
  }
  if (!bad.empty()) problems = "効果音ファイルを読めません。その音は鳴りません: " + bad;

  for (TChannel& c : channels_) {
    ALuint source = 0;
    alGenSources(1, &source);
    c.Source = source;
  }
  alGenSources(1, &speech_);
  alSourcei(speech_, AL_SOURCE_RELATIVE, AL_TRUE);
  alSource3f(speech_, AL_POSITION, 0, 0, 0);
  return true;
}

void TSoundOutput::Close() {
  if (device_ == nullptr) return;
  for (TChannel& c : channels_) {
    if (c.Source != 0) {
      alSourceStop(c.Source);
      alDeleteSources(1, &c.Source);
    }
    c = TChannel{};
  }
  if (speech_ != 0) {
    alSourceStop(speech_);
    alSourcei(speech_, AL_BUFFER, 0);
    alDeleteSources(1, &speech_);
    speech_ = 0;
  }
  for (uint32_t& buffer : buffers_) {
    if (buffer != 0) alDeleteBuffers(1, &buffer);
    buffer = 0;
  }
  alcMakeContextCurrent(nullptr);
  alcDestroyContext(Context(context_));
  alcCloseDevice(Device(device_));
  context_ = device_ = nullptr;
}

TSoundOutput::TChannel* TSoundOutput::LoopChannel(const cockpit::sound::TVoice& voice) {
  for (TChannel& c : channels_) {
    if (c.Loop && c.Owner == voice.Source && c.Sound == voice.Sound) return &c;
  }
  return nullptr;
}

TSoundOutput::TChannel* TSoundOutput::FreeChannel() {
  for (TChannel& c : channels_) {
    if (c.Loop) continue;
    ALint state = AL_STOPPED;
    alGetSourcei(c.Source, AL_SOURCE_STATE, &state);
    if (state != AL_PLAYING) return &c;
  }
  return nullptr;
}

void TSoundOutput::Play(const cockpit::sound::TSoundScene& scene) {
  if (device_ == nullptr) return;
  for (TChannel& c : channels_) c.Seen = false;

  // Calls already spoken leave the speech queue.
  ALint done = 0;
  alGetSourcei(speech_, AL_BUFFERS_PROCESSED, &done);
  while (done-- > 0) {
    ALuint buffer = 0;
    alSourceUnqueueBuffers(speech_, 1, &buffer);
  }

  for (int i = 0; i < scene.Count; ++i) {
    const cockpit::sound::TVoice& v = scene.Voices[static_cast<std::size_t>(i)];
    const ALuint buffer = buffers_[static_cast<std::size_t>(v.Sound)];
    if (buffer == 0) continue;
    if (cockpit::sound::IsSpoken(v.Sound)) {
      // One call after the other on one voice, as a crew speaks.
      alSourcef(speech_, AL_GAIN, static_cast<float>(v.Gain * Level(v)));
      alSourceQueueBuffers(speech_, 1, &buffer);
      ALint state = AL_STOPPED;
      alGetSourcei(speech_, AL_SOURCE_STATE, &state);
      if (state != AL_PLAYING) alSourcePlay(speech_);
      continue;
    }
    TChannel* c = v.Loop ? LoopChannel(v) : nullptr;
    const bool start = c == nullptr;
    if (start) c = FreeChannel();
    if (c == nullptr) continue;  // every channel busy: this voice waits
    if (start) {
      alSourceStop(c->Source);
      alSourcei(c->Source, AL_BUFFER, static_cast<ALint>(buffer));
      alSourcei(c->Source, AL_LOOPING, v.Loop ? AL_TRUE : AL_FALSE);
      c->Loop = v.Loop;
      c->Owner = v.Source;
      c->Sound = v.Sound;
    }
    c->Seen = true;
    Place(c->Source, v, Level(v));
    if (start) alSourcePlay(c->Source);
  }

  // Loops whose voice left the scene stop.
  for (TChannel& c : channels_) {
    if (c.Loop && !c.Seen) {
      alSourceStop(c.Source);
      c.Loop = false;
    }
  }
}

void TSoundOutput::SetVolume(double volume) {
  volume_ = std::clamp(volume, 0.0, 1.0);
  ApplyGain();
}

void TSoundOutput::SetGroupLevels(
    const std::array<double, cockpit::sound::kSoundGroupCount>& levels) {
  for (std::size_t g = 0; g < levels.size(); ++g) levels_[g] = std::clamp(levels[g], 0.0, 1.0);
}

double TSoundOutput::Level(const cockpit::sound::TVoice& voice) const {
  return levels_[static_cast<std::size_t>(cockpit::sound::GroupOf(voice))];
}

void TSoundOutput::SetMuted(bool muted) {
  muted_ = muted;
  ApplyGain();
}

void TSoundOutput::ApplyGain() {
  if (device_ == nullptr) return;
  alListenerf(AL_GAIN, muted_ ? 0.0f : static_cast<float>(volume_));
}

}  // namespace velmora::audio
