// The sound output: the loader's answer to a good, a missing, a cut and a
// foreign file, the one message that names the files that could not be read,
// and a machine without an audio device.
#include "audio/sound_output.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/temp_file.h"

namespace velmora::audio {
namespace {

namespace fs = std::filesystem;

const fs::path kSounds = fs::path(VELMORA_DATA_DIR) / "sounds";

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(SoundFile, GoodMissingCutAndForeignFiles) {
  const std::string bell = Bytes(kSounds / "bell.wav");
  struct Case {
    const char* name;
    std::string bytes;  // nothing: the file is not written
    const char* why;
  };
  const Case cases[] = {
      {"good.wav", bell, ""},
      {"missing.wav", {}, "見つかりません"},
      {"cut.wav", bell.substr(0, bell.size() / 2), "途中で切れています"},
      {"header_only.wav", bell.substr(0, 44), "途中で切れています"},
      {"text.wav", "not a sound at all\n", "WAV ではありません"},
      {"empty.wav", "", "WAV ではありません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = std::string(c.name) == "missing.wav"
                              ? testing::TestFilePath(c.name)
                              : testing::WriteTestFile(c.name, c.bytes);
    TSoundSamples samples;
    EXPECT_EQ(ReadSoundFile(path.string(), samples), c.why);
    EXPECT_EQ(samples.Samples.empty(), *c.why != '\0');
  }
  TSoundSamples samples;
  ASSERT_EQ(ReadSoundFile((kSounds / "bell.wav").string(), samples), "");
  EXPECT_EQ(samples.Rate, 22050);
  EXPECT_EQ(samples.Samples.size(), 22050u);  // a one-second loop
}

// Runs with OpenAL Soft's wave-file backend writing into the test's folder.
class SoundOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path conf = testing::WriteTestFile(
        "alsoft.conf", "[general]\ndrivers = wave\n[wave]\nfile = " +
                           testing::TestFilePath("heard.wav").string() + "\n");
    setenv("ALSOFT_CONF", conf.c_str(), 1);
    setenv("ALSOFT_DRIVERS", "wave", 1);
  }
  void TearDown() override {
    unsetenv("ALSOFT_CONF");
    unsetenv("ALSOFT_DRIVERS");
  }
};

TEST_F(SoundOutputTest, FilesThatCannotBeReadAreNamedInOneMessage) {
  const fs::path data = testing::TestFilePath("data");
  fs::create_directories(data);
  fs::copy(kSounds, data / "sounds", fs::copy_options::recursive);
  fs::remove(data / "sounds" / "bell.wav");
  const std::string thump = Bytes(kSounds / "thump.wav");
  std::ofstream(data / "sounds" / "thump.wav", std::ios::binary) << thump.substr(0, 100);
  std::ofstream(data / "sounds" / "gpws_10.wav", std::ios::binary) << "\x89PNG\r\n";

  TSoundOutput output;
  std::string error, problems;
  ASSERT_TRUE(output.Open(data.string(), error, problems)) << error;
  EXPECT_EQ(
      problems,
      "効果音ファイルを読めません。その音は鳴りません: sounds/thump.wav（途中で切れています）、"
      "sounds/bell.wav（見つかりません）、sounds/gpws_10.wav（WAV ではありません）");

  // The sounds that did load play; the missing ones are skipped.
  cockpit::sound::TSoundScene scene;
  scene.Count = 3;
  scene.Voices[0] = {cockpit::sound::TSound::Bell, true, 0, 1, 1, 0, 0, 0, 0, 0, 0};
  scene.Voices[1] = {cockpit::sound::TSound::Wind, true, 0, 1, 1, 0, 0, 0, 0, 0, 0};
  scene.Voices[2] = {cockpit::sound::CallVoice(state::TCall::Gpws10), false, 0, 1, 1, 0, 0, 0, 0,
                     0, 0};
  output.Play(scene);
  output.Play(scene);
}

// Opens an output, says why it stayed closed and plays into it; the exit
// status is 0 when it stayed closed.
[[noreturn]] void OpenWithoutDevice() {
  TSoundOutput output;
  std::string error;
  std::string problems;
  const bool open = output.Open(kSounds.parent_path().string(), error, problems);
  std::fprintf(stderr, "%s\n", error.c_str());
  cockpit::sound::TSoundScene scene;
  scene.Count = 1;
  output.Play(scene);  // a closed output takes the scene and stays silent
  std::exit(open || output.IsOpen() ? 1 : 0);
}

// OpenAL Soft picks its backend once per process: the check runs in a fresh one.
TEST_F(SoundOutputTest, NoAudioDeviceLeavesTheOutputClosed) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setenv("ALSOFT_DRIVERS", "no-such-driver", 1);
  EXPECT_EXIT(OpenWithoutDevice(), ::testing::ExitedWithCode(0),
              "no audio device: running without sound");
}

}  // namespace
}  // namespace velmora::audio
