// Feeds arbitrary bytes to the sound file reader through a file, as the
// program reads them: every input gets one of the reader's answers, a sound
// it accepts has samples and a rate, and nothing crashes or hangs.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "audio/sound_output.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/velmora-fuzz-sound-" + std::to_string(getpid()) + ".wav";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
  velmora::audio::TSoundSamples samples;
  const std::string why = velmora::audio::ReadSoundFile(path, samples);
  std::remove(path.c_str());
  if (why.empty()) {
    if (samples.Samples.empty() || samples.Rate < 1000) std::abort();
  } else if (why != "WAV ではありません" && why != "途中で切れています") {
    std::abort();
  }
  return 0;
}
