#include "client/client_session.h"

#include <QSignalBlocker>
#include <QTcpSocket>
#include <cerrno>
#include <chrono>
#include <string_view>
#include <utility>

#include "app/protocol.h"
#include "app/reset.h"
#include "physics/railway.h"

namespace velmora::client {
namespace {

// Rounds of requests one call carries out at most: a request a shell answers
// with another is carried out in the next round, and a pathological loop ends.
constexpr int kMaxRequestRounds = 16;

bool AnyRequest(const state::TShellRequests& r) {
  return !r.Send.empty() || !r.ErrorBoxes.empty() || r.AskLogin || r.DropConnection ||
         r.OpenConnection || r.ShowHelpBottomRight || r.FocusChatInput || r.Close || r.ShowHelp ||
         !r.OpenLinks.empty() || !r.ReloginBox.empty();
}

}  // namespace

int SocketErrorCode(QAbstractSocket::SocketError error) {
  switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError: return EACCES;
    case QAbstractSocket::SocketResourceError: return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    case QAbstractSocket::NetworkError: return ENETUNREACH;
    default: return 1000 + static_cast<int>(error);
  }
}

uint32_t TSteadyClock::SystemMilliseconds() const {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void TSessionHooks::SendState() { app::SendOwnState(session_.State()); }

TClientSession::TClientSession(TSessionShell& shell, TSessionConfig config,
                               const app::TClock* clock)
    : shell_(shell),
      config_(std::move(config)),
      steadyClock_(clock == nullptr ? std::make_unique<TSteadyClock>() : nullptr),
      clock_(clock != nullptr ? clock : steadyClock_.get()),
      state_(std::make_unique<state::TMainState>()),
      world_(std::make_unique<world::TWorld>()),
      hooks_(*this) {
  socket_ = new QTcpSocket(this);
  socket_->setObjectName("ClientSocket");
  connect(socket_, &QTcpSocket::connected, this, [this] {
    Heard();
    RunCore([this] { app::ClientSocketConnect(*state_, Now()); });
  });
  connect(socket_, &QTcpSocket::readyRead, this, [this] {
    Heard();
    const QByteArray bytes = socket_->readAll();
    RunCore([&] {
      app::ClientSocketRead(*state_, std::string_view(bytes.constData(), bytes.size()), Now());
    });
  });
  connect(socket_, &QTcpSocket::disconnected, this,
          [this] { RunCore([this] { app::ClientSocketDisconnect(*state_, Now()); }); });
  connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
    // The peer closing the connection is a disconnect, not an error.
    if (error == QAbstractSocket::RemoteHostClosedError) return;
    RunCore([&] {
      app::ClientSocketError(*state_, SocketErrorCode(error), config_.Host, config_.Port, Now());
    });
  });
}

TClientSession::~TClientSession() { Close(); }

uint32_t TClientSession::Now() const { return app::SynchronisedClock(*state_, *clock_); }

void TClientSession::PrepareState() {
  state::TMainState& s = *state_;
  s.WorldNo = config_.WorldNo;
  s.MessagePrefix = config_.WorldText + ";20;1;";
  // Panels, timing and replay at rest.
  s.MissionRowCount = 1;
  s.TimeSynchronised = 0;
  s.Freeze = 0;
  s.SendInterval = 0;
  s.Remote[0].UserNo = 0;
  s.TimerEnabled = false;
  s.VideoRow = 2;
  s.VideoRowCount = state::kVideoRowsLive;
  s.ReplayMode = 0;
  s.CameraNo = 3;
  s.Own.Kind = 0;
  s.Own.FormNo = 0;
  if (forms_ != nullptr) s.Forms = *forms_;
  if (worldLoaded_) s.World = world_.get();
  if (config_.GustSeed) s.GustRandom.seed(*config_.GustSeed);
  physics::ClearTrackMarks(s);
  app::ResetRoutine(s, 0, false, Now());
  s.ReplayStart = s.ReplayEnd = s.PlayIndex = 0;
  s.FieldOfView = 30;
  s.Camera = s.Own;
}

void TClientSession::ResetState() {
  state_ = std::make_unique<state::TMainState>();
  PrepareState();
}

vehicle::TVehicleLoadResult TClientSession::LoadVehicleTypes(vehicle::RendererApi& renderer) {
  ownForms_ = std::make_unique<vehicle::TFormTable>();
  vehicle::TVehicleLoadResult types = vehicle::LoadVehicleTypes("vehicles.dat", *ownForms_, renderer);
  forms_ = ownForms_.get();
  state_->Forms = *forms_;
  return types;
}

world::TWorldLoad TClientSession::LoadWorld(vehicle::RendererApi& renderer) {
  state::TMainState& s = *state_;
  worldLoaded_ = true;
  s.World = world_.get();
  return world::LoadWorldFiles(*world_, renderer, {Now(), s.BaseWindX, s.BaseWindY});
}

void TClientSession::UseInstallation(const vehicle::TFormTable& forms,
                                     std::unique_ptr<world::TWorld> world) {
  forms_ = &forms;
  world_ = std::move(world);
  worldLoaded_ = true;
  state_->Forms = forms;
  state_->World = world_.get();
}

void TClientSession::RunCore(const std::function<void()>& call) {
  if (closed_) return;
  try {
    call();
  } catch (const std::exception& fault) {
    // The core handles the faults of the simulation itself; what arrives here
    // was not expected. Where a vehicle is in play its start state is
    // restored as after a crash and the game goes on; a fault that recurs at
    // once with nothing left to restore, or one in the recovery itself, is
    // the shell's to end.
    shell_.Fault(fault.what(), false);
    bool recovered = false;
    try {
      recovered = app::RecoverFromFault(*state_, "自分> 内部エラーが発生しました。", Now());
    } catch (const std::exception& again) {
      shell_.Fault(again.what(), true);
    }
    if (!recovered && !shell_.FaultPersists(fault.what())) return;
  }
  CarryOutRequests();
}

void TClientSession::Tick(const std::function<app::TJoystickReading()>& read,
                          app::TTickHooks* hooks) {
  RunCore([&] {
    const app::TJoystickReading reading = read ? read() : app::TJoystickReading{};
    app::Tick(*state_, *clock_, reading, hooks != nullptr ? *hooks : hooks_);
  });
}

void TClientSession::CarryOutRequests() {
  for (int round = 0; round < kMaxRequestRounds; ++round) {
    state::TShellRequests r = std::exchange(state_->Requests, {});
    if (!AnyRequest(r)) break;
    if (!r.Send.empty() && !closed_ && socket_->state() == QAbstractSocket::ConnectedState) {
      socket_->write(r.Send.data(), static_cast<qint64>(r.Send.size()));
    }
    if ((r.DropConnection || r.OpenConnection) && !closed_) DropConnection();
    if (r.OpenConnection && !closed_) {
      Heard();  // the silence counts from the attempt
      socket_->connectToHost(QString::fromStdString(config_.Host), config_.Port);
    }
    if (!shell_.CarryOut(r)) return;
  }
  shell_.Mirror();
}

uint32_t TClientSession::SilentMs() const { return clock_->SystemMilliseconds() - heardAt_; }

void TClientSession::DropConnection() {
  // The core has given this connection up: its end is no event.
  const QSignalBlocker quiet(socket_);
  socket_->abort();
}

void TClientSession::Close() {
  if (closed_) return;
  closed_ = true;
  socket_->disconnect(this);
  socket_->abort();
}

}  // namespace velmora::client
