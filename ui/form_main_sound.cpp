// The main form's sound: the output opened at start-up, the scene played
// after every tick, and the mute key.
#include <cstdio>

#include "ui/form_main.h"

namespace velmora::ui {

void TFormMain::OpenSound() {
  const TCommandLine& line = options_.CommandLine;
  if (!line.Sound) return;
  std::string error, problems;
  // The installation is the working folder.
  if (!soundOutput_.Open(".", error, problems)) {
    std::fprintf(stderr, "velmora: %s\n", error.c_str());
    return;
  }
  soundOutput_.SetVolume(line.Volume / 100.0);
  ApplySoundLevels();
  if (!problems.empty()) State().Log(problems);
}

void TFormMain::ApplySoundLevels() {
  const app::TSoundLevels& sound = settings_.Sound;
  soundOutput_.SetGroupLevels({sound.Engines / 100.0, sound.Voices / 100.0,
                               sound.Warnings / 100.0, sound.Traffic / 100.0});
}

void TFormMain::PlaySound() {
  if (!soundOutput_.IsOpen()) return;
  cockpit::sound::UpdateScene(State(), Now(), *soundScene_);
  soundOutput_.Play(*soundScene_);
}

void TFormMain::ToggleMute() {
  if (!soundOutput_.IsOpen()) {
    State().Log("サウンドは使えません（--no-sound か、音声装置がありません）。");
  } else {
    soundOutput_.SetMuted(!soundOutput_.Muted());
    State().Log(soundOutput_.Muted() ? "サウンドを消しました（Ctrl+M で戻ります）。"
                                     : "サウンドを戻しました。");
  }
  ApplyModel();
}

}  // namespace velmora::ui
