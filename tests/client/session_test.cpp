// The client session under both shells: the socket errors it names, and the
// window program and the traffic client, each over its own session, braking a
// speeding train alike on the tick, with nothing drawn.
#include "client/client_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>

#include "app/reset.h"
#include "tests/data/installation.h"
#include "tests/support/fake_renderer.h"
#include "tests/support/settable_clock.h"
#include "tests/support/test_vehicles.h"
#include "tests/ui/ui_test_support.h"
#include "traffic/traffic_client.h"
#include "ui/form_main.h"
#include "vehicle/geometry.h"

namespace velmora::client {
namespace {

TEST(SocketErrorCode, TheSystemsNumberWhereThereIsOne) {
  const struct {
    QAbstractSocket::SocketError Error;
    int Code;
  } cases[] = {
      {QAbstractSocket::ConnectionRefusedError, ECONNREFUSED},
      {QAbstractSocket::RemoteHostClosedError, ECONNRESET},
      {QAbstractSocket::HostNotFoundError, EHOSTUNREACH},
      {QAbstractSocket::SocketAccessError, EACCES},
      {QAbstractSocket::SocketResourceError, ENOBUFS},
      {QAbstractSocket::SocketTimeoutError, ETIMEDOUT},
      {QAbstractSocket::NetworkError, ENETUNREACH},
      // None of the system's: 1000 plus the toolkit's own number.
      {QAbstractSocket::ProxyConnectionRefusedError,
       1000 + static_cast<int>(QAbstractSocket::ProxyConnectionRefusedError)},
      {QAbstractSocket::UnknownSocketError, 999},
  };
  for (const auto& c : cases) EXPECT_EQ(SocketErrorCode(c.Error), c.Code) << c.Error;
}

// A renderer that counts the frames drawn.
class CountingRenderer final : public testing::FakeRenderer {
 public:
  int32_t DXDraw(float, uint32_t, const vehicle::TVehicleState&,
                 const vehicle::TVehicleState* const*) override {
    ++Draws;
    return 0;
  }
  int Draws = 0;
};

// A line-1 train of the sample world beyond station C, running at 25 m/s
// (90 km/h) towards the buffer stop where the track ahead allows 37 km/h,
// logged in, as a server mission would place it.
void PlaceSpeedingTrain(state::TMainState& s, uint32_t now) {
  constexpr int32_t kCommuter = 30;
  s.Start = testing::Vehicle(kCommuter)
                .User(1, 1)
                .At(-4036.3, 1100, -1.8)
                .Time(static_cast<int32_t>(now))
                .AsOwn(s);
  app::ResetRoutine(s, kCommuter, true, now);
  s.Own.VY = 25;
  s.TimerEnabled = true;
}

// The window program never shown and never started, so it has no renderer
// and draws nothing; the traffic client never logged in, so no driver moves
// the controls. Both tick on one settable clock; the protection is the
// tick's, so both brake the train on the same tick, step for step alike, and
// the run's figures log the braking once in each.
TEST(TrainProtection, BothShellsBrakeASpeedingTrainAlikeWithoutDrawing) {
  testing::App();
  testing::TSettableClock clock;
  clock.Now = 100000;
  testing::FakeRenderer installRenderer;
  installRenderer.GiveTextureIds = true;
  installRenderer.GiveSurfaceIds = true;
  testing::TInstallation windowWorld, trafficWorld;
  testing::LoadInstallation(installRenderer, windowWorld);
  testing::LoadInstallation(installRenderer, trafficWorld);

  CountingRenderer renderer;
  ui::TFormHelp help;
  ui::TStartOptions options;
  options.Headless = true;
  options.OpenSocket = false;
  options.Clock = &clock;
  ui::TFormMain form(renderer, help, options);
  state::TMainState& w = form.State();
  w.Forms = *windowWorld.Forms;
  w.World = windowWorld.World.get();
  PlaceSpeedingTrain(w, clock.Now);

  traffic::TClientConfig config;
  traffic::TTrafficClient client(config, *trafficWorld.Forms, std::move(trafficWorld.World),
                                 &clock);
  state::TMainState& t = client.State();
  PlaceSpeedingTrain(t, clock.Now);

  int ticks = 0;
  for (; ticks < 3000 && vehicle::GroundSpeed(w.Own) > 0; ++ticks) {
    clock.Now += 10;
    form.TimerIntervalTimer();
    client.Tick();
    ASSERT_EQ(w.EmergencyBrake, t.EmergencyBrake) << "tick " << ticks;
    ASSERT_EQ(w.Brake, t.Brake) << "tick " << ticks;
    ASSERT_EQ(w.Own.Y, t.Own.Y) << "tick " << ticks;
    ASSERT_EQ(w.Own.VY, t.Own.VY) << "tick " << ticks;
    if (ticks == 0) {
      EXPECT_EQ(w.EmergencyBrake, 1) << "braked on the first tick";
    }
  }
  EXPECT_LT(ticks, 3000) << "the train came to rest";
  EXPECT_EQ(vehicle::GroundSpeed(t.Own), 0);
  EXPECT_EQ(renderer.Draws, 0);
  const std::string braked = "記録> ATS 作動  速度 90 km/h（制限 37 km/h）";
  EXPECT_EQ(std::count(w.MessageLog.begin(), w.MessageLog.end(), braked), 1);
  EXPECT_EQ(std::count(t.MessageLog.begin(), t.MessageLog.end(), braked), 1);
}

}  // namespace
}  // namespace velmora::client
