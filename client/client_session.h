// What a client of the game server is without a window: the main state, the
// clock, the connection and its protocol pump, the installation it loads, the
// tick with its hooks and the core's requests. The window program owns one;
// the traffic program one per traffic client. Each shell adds only its own:
// widgets, sound and joystick; drivers and a status line. QtCore and
// QtNetwork only.
#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/tick.h"
#include "state/main_state.h"
#include "vehicle/renderer_api.h"
#include "vehicle/vehicle_state.h"
#include "world/installation.h"
#include "world/world.h"

class QTcpSocket;

namespace velmora::client {

// The error number a socket error is shown with: the system's error number
// where the toolkit's error has one, else 1000 plus the toolkit's own number.
int SocketErrorCode(QAbstractSocket::SocketError error);

// The system's millisecond clock, 32 bits, wrapping.
class TSteadyClock final : public app::TClock {
 public:
  uint32_t SystemMilliseconds() const override;
};

// The server a session talks to, and what its main state starts from.
struct TSessionConfig {
  std::string Host = "127.0.0.1";
  uint16_t Port = 64000;
  std::string WorldText = "52566771";  // the world number as given; the message prefix carries it
  int32_t WorldNo = 52566771;
  std::optional<uint32_t> GustSeed;  // seeds each fresh state's gusts; unset: the state's own seed
};

// What the shell above a session carries out itself.
class TSessionShell {
 public:
  virtual ~TSessionShell() = default;
  // The rest of one round of the core's requests, once the session has sent
  // the bytes and dropped or opened the connection: boxes, the login query,
  // help, links, the close. False when the shell started the session over
  // with a fresh state: the old state's requests go no further.
  virtual bool CarryOut(state::TShellRequests& requests) = 0;
  // After the requests of every core call: the shell mirrors the model.
  virtual void Mirror() {}
  // A fault the core did not expect, in a core call or in the recovery from it.
  virtual void Fault(const std::string& /*what*/, bool /*inRecovery*/) {}
  // The recovery could not get past the fault. True: the requests are carried
  // out (the shell has asked for a box and the close); false: the shell
  // started over.
  virtual bool FaultPersists(const std::string& what) = 0;
};

class TClientSession;

// The tick's hand-over every client makes: its own state to the server. A
// shell that draws or locks on adds those.
class TSessionHooks : public app::TTickHooks {
 public:
  explicit TSessionHooks(TClientSession& session) : session_(session) {}
  void SendState() override;

 protected:
  TClientSession& session_;
};

class TClientSession final : public QObject {
 public:
  // clock: the system clock to read; null: the steady clock (tests set one).
  TClientSession(TSessionShell& shell, TSessionConfig config, const app::TClock* clock = nullptr);
  ~TClientSession() override;

  state::TMainState& State() { return *state_; }
  const state::TMainState& State() const { return *state_; }
  const app::TClock& Clock() const { return *clock_; }
  const TSessionConfig& Config() const { return config_; }
  // The synchronised clock, ms.
  uint32_t Now() const;
  QTcpSocket& Socket() const { return *socket_; }

  // Puts the present state at rest, as at start-up: the server's world and
  // message prefix, no vehicle, no replay, the tick stopped; the installation
  // loaded so far in place.
  void PrepareState();
  // A fresh state at rest (a shell that starts over).
  void ResetState();

  // The installation of the working folder, in start-up order: the vehicle
  // types (kept for every fresh state), then this session's own world. The
  // objects start their lights at the present clock in the present wind.
  vehicle::TVehicleLoadResult LoadVehicleTypes(vehicle::RendererApi& renderer);
  world::TWorldLoad LoadWorld(vehicle::RendererApi& renderer);
  // An installation loaded elsewhere: vehicle types shared by several
  // sessions, which outlive it, and this session's own world.
  void UseInstallation(const vehicle::TFormTable& forms, std::unique_ptr<world::TWorld> world);
  world::TWorld& World() { return *world_; }

  // Runs a core call, then carries out its requests. A fault the core raises
  // restores the run's start, as a crash does; one the recovery cannot get
  // past goes to the shell.
  void RunCore(const std::function<void()>& call);
  // One tick of the core, with the joystick reading `read` gives (a device,
  // a driver) and the shell's hooks (the session's own when null).
  void Tick(const std::function<app::TJoystickReading()>& read, app::TTickHooks* hooks = nullptr);
  // Carries out the core's requests, round by round, then has the shell mirror the model.
  void CarryOutRequests();

  // ms since the server last sent something, the connection stood, or a
  // connection was asked for.
  uint32_t SilentMs() const;
  // Drops the connection; its end reaches the core as no event.
  void DropConnection();
  // The session ends: no socket event reaches the core, nothing more is carried out.
  void Close();
  bool Closed() const { return closed_; }

 private:
  void Heard() { heardAt_ = clock_->SystemMilliseconds(); }

  TSessionShell& shell_;
  TSessionConfig config_;
  std::unique_ptr<TSteadyClock> steadyClock_;
  const app::TClock* clock_;
  std::unique_ptr<state::TMainState> state_;
  std::unique_ptr<vehicle::TFormTable> ownForms_;  // loaded by this session
  const vehicle::TFormTable* forms_ = nullptr;     // the types each fresh state gets; null: none yet
  std::unique_ptr<world::TWorld> world_;
  bool worldLoaded_ = false;
  TSessionHooks hooks_;
  QTcpSocket* socket_ = nullptr;
  uint32_t heardAt_ = 0;  // ms, system clock
  bool closed_ = false;
};

}  // namespace velmora::client
