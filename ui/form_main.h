// The main form: the 3D view, the instrument canvases, the mission,
// destination and replay panels, the message log and the chat line, over a
// client session (client/) that holds the main state, the clock and the
// connection. It turns toolkit events into core calls, carries out what only
// a window can of the core's requests (boxes, the login query, help, links)
// and mirrors the core's model onto the widgets.
#pragma once

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTcpSocket>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "state/main_state.h"
#include "app/tick.h"
#include "app/window_layout.h"
#include "client/client_session.h"
#include "cockpit/frame.h"
#include "cockpit/frame_pacing.h"
#include "cockpit/render_scale.h"
#include "vehicle/renderer_api.h"
#include "ui/canvas_widget.h"
#include "ui/command_line.h"
#include "ui/form_help.h"
#include "ui/frame_stats.h"
#include "ui/joystick.h"
#include "ui/settings_store.h"
#include "app/joystick_mapping.h"
#include "app/user_settings.h"
#include "audio/sound_output.h"
#include "world/world.h"

namespace velmora::ui {

inline constexpr int kClientWidth = app::kMinClientWidth;    // px, the main form's smallest client area
inline constexpr int kClientHeight = app::kMinClientHeight;  // px

struct TStartOptions {
  TCommandLine CommandLine;
  bool OpenSocket = true;  // tests may start without a server
  bool Headless = false;   // error boxes and the login query never wait for a user
  // Answers the login query in place of the dialog (tests); it may run the
  // event loop while it "types", as the dialog does.
  std::function<std::optional<std::string>()> LoginQuery;
  // Answers the box of a lost connection in place of the user (tests): true
  // logs in again. Headless without it, the program closes.
  std::function<bool(const std::string& text)> ReloginQuery;
  // The system clock the program reads; null: the steady clock (tests set one).
  const app::TClock* Clock = nullptr;
  // The settings file; null: the defaults, and nothing is written.
  TSettingsStore* Settings = nullptr;
};

class TLogbookShell;
class TFormSettings;

class TFormMain final : public QWidget {
 public:
  TFormMain(vehicle::RendererApi& renderer, TFormHelp& help, TStartOptions options,
            TJoystick* joystick = nullptr);
  ~TFormMain() override;

  // The start-up sequence run when the form is first shown: parameters,
  // panels, renderer, vehicle types, world, then the connection. False when
  // it failed; the form is then closed.
  bool FormShow();
  // The exit status the program ends with: 0, or 1 after an error.
  int ExitCode() const { return exitCode_; }
  bool Closed() const { return closed_; }
  // Texts of the error boxes shown so far, oldest first.
  const std::vector<std::string>& ErrorsShown() const { return errorsShown_; }
  // The tick and frame times with --frame-stats, else null.
  const TFrameMeter* FrameMeter() const { return meter_.get(); }
  // The sound output; closed with --no-sound or without an audio device.
  const audio::TSoundOutput& SoundOutput() const { return soundOutput_; }
  // Ctrl+M: mutes or unmutes the sound and says so in the log.
  void ToggleMute();
  // F9: opens the settings window.
  void ShowSettings();
  TFormSettings* FormSettings() { return settingsForm_.get(); }
  // The settings as saved, with this run's flags not in them.
  const app::TUserSettings& Settings() const { return settings_; }
  // F11: full screen, or back to the window as it was (maximised or not).
  void ToggleFullScreen();
  bool FullScreen() const;
  // Whether the window opens full screen: the flag, or else the setting.
  bool StartsFullScreen() const { return options_.CommandLine.FullScreen; }
  // The 3D view's render scale, % of each side, and the frame size it asks
  // the renderer for (device pixels).
  int32_t RenderScale() const { return renderScale_.Percent(); }
  QSize RenderSize() const { return QSize(view_.Width, view_.Height); }

  state::TMainState& State() { return session_->State(); }
  const app::TClock& Clock() const { return session_->Clock(); }
  uint32_t Now() const { return session_->Now(); }

  // Key handlers of the form and every component: virtual-key code and shift
  // state. The key code may come back as 0 (consumed).
  void FormKeyDown(int32_t& key, uint32_t shift);
  void FormKeyUp(int32_t& key, uint32_t shift);

  void TimerIntervalTimer();
  // The form's paint: one cockpit frame, unless the running tick draws them.
  void FormPaint();
  // The tick's frame: its work on the state always, its pixels when the
  // pacer says a frame is due and the window can be seen.
  void TickFrame();
  // One whole frame, pixels included.
  void DrawFrameNow(bool pixels = true);
  // 3D frames a second the tick draws at most.
  int32_t FramesPerSecond() const { return pacer_.Rate(); }
  void StringGridMissionClick();
  void StringGridVideoClick();
  // Ctrl+S: saves the replay ring into the user's data folder.
  void SaveReplay();
  void StringGridDestClick();
  void ButtonChatClick();

  // Carries out the core's requests in order, then mirrors the model.
  void CarryOutRequests();
  void ApplyModel();

  TCanvasWidget* ListBoxView = nullptr;
  QTableWidget* StringGridMission = nullptr;
  TCanvasWidget* ListBoxPFD = nullptr;
  TCanvasWidget* ListBoxIndicator = nullptr;
  TCanvasWidget* ListBoxNavi = nullptr;
  QTableWidget* StringGridDest = nullptr;
  QTableWidget* StringGridVideo = nullptr;
  TCanvasWidget* ListBoxPower = nullptr;
  QPlainTextEdit* MemoMessage = nullptr;
  QLineEdit* EditChatInput = nullptr;
  QPushButton* ButtonChat = nullptr;
  QTimer* TimerInterval = nullptr;
  QTimer* TimerSilence = nullptr;  // looks at the server's silence while connected
  QTcpSocket* ClientSocket = nullptr;  // the session's connection

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  class THooks;
  class TShell;

  // Runs a core call and carries out its requests (client::TClientSession::RunCore).
  void RunCore(const std::function<void()>& call) { session_->RunCore(call); }
  // The requests of one round that only the window carries out.
  void CarryOutWindowRequests(state::TShellRequests& requests);
  // A box with a Japanese text; the detail (English) goes to standard error only.
  void ShowErrorBox(const std::string& text, const std::string& detail = {});
  void AskLogin();
  // The box of a lost connection: log in again, or close.
  void OfferRelogin(const std::string& text);
  void FormClose();
  bool HandleKeyEvent(QKeyEvent* event, bool down);
  // Reads the settings file and lets the saved server, frame-rate cap and
  // volume stand in for flags the command line does not give.
  app::TUserSettings LoadSettings();
  // Puts a page's settings to work.
  void ApplySettings(TSettingsPage page);
  void ApplySoundLevels();
  void OpenSound();
  void PlaySound();
  void BuildComponents();
  // Lays the components out for the client size and the screen's pixels.
  void ApplyLayout();
  // The renderer's frame size for the view at the render scale.
  void ApplyRenderScale();
  // The pacer's rate: the cap asked for, divided at the render scale's slow step.
  void ApplyFrameRate();
  // Keeps the window mode F11 chose in the settings file.
  void RememberWindowMode();
  void FollowLog();
  void SyncGrid(QTableWidget* grid, int rows, const std::string* cells, int selected);
  static void Present(void* context, const uint8_t* rgba, int32_t width, int32_t height,
                      int32_t stride);

  vehicle::RendererApi& renderer_;
  TFormHelp& help_;
  TStartOptions options_;
  std::vector<std::string> settingsProblems_;  // values of the file that fell back, for the log
  app::TUserSettings settings_;                // as saved; the settings window edits them
  std::unique_ptr<TSettingsStore> unsavedStore_;  // the window's store without a settings file
  std::unique_ptr<TFormSettings> settingsForm_;
  app::TKeyTableKind helpKeys_ = app::TKeyTableKind::Aircraft;  // the table the key list shows
  TJoystick* joystick_;
  app::TJoystickHeld joystickHeld_;
  std::unique_ptr<TShell> shell_;
  std::unique_ptr<client::TClientSession> session_;
  world::TWorldDriver worldDriver_;
  std::unique_ptr<cockpit::TFrameContext> frame_;
  std::unique_ptr<THooks> hooks_;
  std::unique_ptr<TFrameMeter> meter_;
  audio::TSoundOutput soundOutput_;
  std::unique_ptr<cockpit::sound::TSoundScene> soundScene_ = std::make_unique<cockpit::sound::TSoundScene>();
  std::unique_ptr<TLogbookShell> logbook_;  // null when headless
  DXView view_{};
  cockpit::TFramePacer pacer_;
  int32_t fpsAsked_ = 0;  // the frame-rate cap of the flag or settings; 0: the screen's
  cockpit::TRenderScale renderScale_;
  std::unique_ptr<TDrawCost> drawCost_;  // what the 3D frames cost, for the render scale
  bool fullScreen_ = false;  // F11 made the window full screen
  // The view settings as the settings window last applied them.
  struct TPageView {
    int32_t RenderScale = 0;
    bool FullScreen = false;
  } pageView_;
  bool maximisedBeforeFullScreen_ = false;
  QRect windowed_;  // the window's place before full screen
  bool pixelsThisTick_ = true;  // the running tick's frame drew its pixels
  bool rendererReady_ = false;
  bool started_ = false;
  bool closed_ = false;
  bool syncing_ = false;
  bool handleUsed_ = false;
  bool asking_ = false;   // the login query is open
  bool boxOpen_ = false;  // an error box is open
  int exitCode_ = 0;
  std::vector<std::string> errorsShown_;
  uint64_t logShown_ = 0;  // log lines mirrored onto the memo (MessageLogCount)
  bool followLog_ = true;  // the memo keeps its last line in view: the user has not scrolled up
};

}  // namespace velmora::ui
