#include "cockpit/frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tests/support/fake_renderer.h"
#include "tests/support/recording_canvas.h"
#include "tests/support/test_vehicles.h"
#include "vehicle/geometry.h"
#include "world/shapes.h"

namespace velmora::cockpit {
namespace {

using testing::kAirlinerGearDown;
using testing::kCar;
using testing::Vehicle;
using vehicle::TVehicleState;

constexpr double kPositionTol = 1e-6;  // m: exact up to rounding of sines
constexpr double kAngleTol = 1e-4;     // deg: single-precision angles

// Remembers what each DXDraw was given.
class DrawRecorder final : public testing::FakeRenderer {
 public:
  struct Draw {
    float FieldOfView;
    uint32_t ClearColour;
    TVehicleState Camera;
    std::vector<TVehicleState> Vehicles;
  };
  std::vector<Draw> Draws;

  int32_t DXDraw(float fieldOfView, uint32_t clearColour, const TVehicleState& camera,
                 const TVehicleState* const* vehicles) override {
    Draw d{fieldOfView, clearColour, camera, {}};
    for (int i = 0; vehicles[i] != nullptr; ++i) d.Vehicles.push_back(*vehicles[i]);
    Draws.push_back(d);
    return 0;
  }
};

class FrameTest : public ::testing::Test {
 protected:
  FrameTest() : state(std::make_unique<state::TMainState>()) {
    testing::FillTestForms(*state);
    context.Renderer = &renderer;
    context.View = &canvas;
  }

  void Draw(uint32_t now = 1000) { DrawFrame(*state, context, now); }

  std::unique_ptr<state::TMainState> state;
  DrawRecorder renderer;
  testing::RecordingCanvas canvas;
  TFrameContext context;
};

TEST_F(FrameTest, StatusLineFormat) {
  testing::PlaceOwn(*state, vehicle::kKindRoad, kCar);
  state->Throttle = 3;
  state->ThrottleMax = 6;
  state->Own.Heading = 12.5f;
  state->Own.Pitch = -1.25f;
  state->Own.VX = 10 * vehicle::SinDeg(12.5);
  state->Own.VY = 10 * vehicle::CosDeg(12.5);
  state->Own.Flap = 0;
  state->Gear = 1;
  EXPECT_EQ(StatusLine(*state),
            "Pow 50%  Spd  10m/s  Dir  12.50°Pit -1.25°Bank  0.00°Alt    10m  Flap  0°Gear 100%");
  Draw();
  EXPECT_EQ(state->Caption, StatusLine(*state));

  // A standing train a hair backwards shows 0, never -0; half a unit is the limit.
  testing::PlaceOwn(*state, vehicle::kKindTrain, testing::kTrain);
  state->Own.VY = -0.49;
  EXPECT_NE(StatusLine(*state).find("Spd   0m/s"), std::string::npos) << StatusLine(*state);
  state->Own.VY = -0.51;
  EXPECT_NE(StatusLine(*state).find("Spd  -1m/s"), std::string::npos) << StatusLine(*state);
}

TEST_F(FrameTest, NoVehicleDrawsTheSkyAndEmptiesTheCaption) {
  Vehicle(kCar).User(5).At(0, 100, -0.6).AsNextRemote(*state);
  Draw();
  ASSERT_EQ(renderer.Draws.size(), 1u);
  EXPECT_EQ(renderer.Draws[0].FieldOfView, 30.0f);
  EXPECT_EQ(renderer.Draws[0].ClearColour, 0x80C0FFu);
  ASSERT_EQ(renderer.Draws[0].Vehicles.size(), 1u);
  EXPECT_EQ(renderer.Draws[0].Vehicles[0].UserNo, 5);
  EXPECT_EQ(state->Caption, "");
  EXPECT_TRUE(canvas.Calls.empty());
}

TEST_F(FrameTest, CockpitCameraSitsAtTheEyeAndTurnsWithTheView) {
  testing::PlaceOwn(*state, vehicle::kKindRoad, kCar);
  state->Own.Heading = 90;
  Draw();
  const vehicle::TFormParam& car = state->Forms[kCar];
  // Facing east: the eye lies EyeForward east of the reference point, EyeUp above it.
  EXPECT_NEAR(renderer.Draws[0].Camera.X, car.EyeForward, kPositionTol);
  EXPECT_NEAR(renderer.Draws[0].Camera.Y, 0, kPositionTol);
  EXPECT_NEAR(renderer.Draws[0].Camera.Z, car.RestZ - car.EyeUp, kPositionTol);
  // The car's own body is shown to its driver only when looking ahead.
  ASSERT_EQ(renderer.Draws[0].Vehicles.size(), 1u);
  EXPECT_EQ(renderer.Draws[0].Vehicles[0].UserNo, state->Own.UserNo);

  state->ViewDirection = 90;
  Draw();
  EXPECT_NEAR(renderer.Draws[1].Camera.Heading, 180, kAngleTol);
  EXPECT_NEAR(renderer.Draws[1].Camera.Pitch, 0, kAngleTol);
  EXPECT_TRUE(renderer.Draws[1].Vehicles.empty());
}

TEST_F(FrameTest, RemoteVehiclesWithinScaleTimes400Metres) {
  testing::PlaceOwn(*state, vehicle::kKindAircraft, testing::kFighterGearDown);
  const vehicle::TFormParam& fighter = state->Forms[testing::kFighterGearDown];
  const vehicle::TFormParam& car = state->Forms[kCar];
  // The camera is at the eye; the cars stand level with it, straight ahead.
  const double eyeY = fighter.EyeForward;
  const double eyeZ = fighter.RestZ - fighter.EyeUp;
  const double range = car.Scale * 400;
  Vehicle(kCar).User(2).At(0, eyeY + range - 0.1, eyeZ).AsNextRemote(*state);
  Vehicle(kCar).User(3).At(0, eyeY + range + 0.1, eyeZ).AsNextRemote(*state);
  Vehicle(kCar).User(4).At(0, eyeY - 100, eyeZ).AsNextRemote(*state);  // behind
  // No known type:
  Vehicle(vehicle::kKindRoad, 0).User(6).At(0, eyeY + 10, eyeZ).AsNextRemote(*state);
  TVehicleState& partner = Vehicle(kCar).User(7).At(0, eyeY + 20, eyeZ).AsNextRemote(*state);
  state->Own.PartnerNo = partner.UserNo;
  Draw();
  ASSERT_EQ(renderer.Draws[0].Vehicles.size(), 1u);
  EXPECT_EQ(renderer.Draws[0].Vehicles[0].UserNo, 2);
}

TEST_F(FrameTest, MapCameraOfAnAirliner) {
  testing::PlaceOwn(*state, vehicle::kKindAircraft, kAirlinerGearDown);
  state->Own.X = 100;
  state->Own.Y = 200;
  state->ReplayMode = 3;
  state->CameraNo = 2;
  Draw();
  const DrawRecorder::Draw& d = renderer.Draws.at(0);
  EXPECT_FLOAT_EQ(d.FieldOfView, 3.0f);
  EXPECT_NEAR(d.Camera.X, 100, kPositionTol);
  EXPECT_NEAR(d.Camera.Y, 200, kPositionTol);
  EXPECT_NEAR(d.Camera.Z, state->Own.Z - 10000, kPositionTol);
  EXPECT_EQ(d.Camera.Pitch, -90.0f);
  // In replay the own vehicle is drawn for every camera but the cockpit.
  ASSERT_EQ(d.Vehicles.size(), 1u);
}

TEST_F(FrameTest, ReplayCameraWithoutVehicleDrawsNothing) {
  state->ReplayMode = 3;
  state->CameraNo = 3;
  Draw();
  EXPECT_TRUE(renderer.Draws.empty());
}

// One runway along north from (0, y1) to (0, y2), 45 m wide, approach offset
// 1000 m and approach course `course`, as the world's only destination.
void AddRunway(world::TWorld& world, float y1, float y2, float course) {
  auto runway = std::make_unique<world::TRunwayInfo>(0.0f, y1, 0.0f, y2, 0.0f, 45.0f, 1000.0f,
                                                     course, 0, "R", 0u);
  world.Destinations[0] = runway.get();
  world.DestinationCount = 1;
  ASSERT_TRUE(world.Objects.Append(std::move(runway)));
}

TEST_F(FrameTest, RunwayCameraLooksAtTheAircraft) {
  world::TWorld world;
  AddRunway(world, 0, 3000, 0);
  state->World = &world;
  testing::PlaceOwn(*state, vehicle::kKindAircraft, kAirlinerGearDown);
  state->Own.Y = -100;
  state->Own.Z = -101.5;
  state->ReplayMode = 3;
  state->CameraNo = 3;
  Draw();
  const DrawRecorder::Draw& d = renderer.Draws.at(0);
  // 100 m before the threshold on the centre line, 1.5 m up, looking at the
  // aircraft 100 m straight above it.
  EXPECT_NEAR(d.Camera.X, 0, kPositionTol);
  EXPECT_NEAR(d.Camera.Y, -100, kPositionTol);
  EXPECT_NEAR(d.Camera.Z, -1.5, kPositionTol);
  EXPECT_NEAR(d.Camera.Pitch, 90, kAngleTol);
  EXPECT_EQ(state->ViewDirection, 0);
}

TEST_F(FrameTest, PredictedPathOnlyWithoutGuidance) {
  world::TWorld world;
  AddRunway(world, 5000, 8000, 30);
  state->World = &world;
  testing::PlaceOwn(*state, vehicle::kKindAircraft, kAirlinerGearDown);
  state->Own.Z = -300;
  state->Own.Bank = 20;
  state->Own.VY = 100;
  state->SelectedDestination = 0;
  state->GuidanceMode = 0;
  Draw();
  EXPECT_EQ(canvas.Count("Polyline"), 1);
  // The centre line lies ahead on the ground: drawn in magenta.
  ASSERT_GE(canvas.Count("Line"), 1);
  EXPECT_EQ(canvas.Calls.at(0).PenColour, 0xFF00FFu);

  canvas.Calls.clear();
  state->GuidanceMode = 6;
  Draw();
  EXPECT_EQ(canvas.Count("Polyline"), 0);

  // A server mission (start state of a vehicle) shows no overlay.
  canvas.Calls.clear();
  state->GuidanceMode = 0;
  state->Start.Kind = vehicle::kKindAircraft;
  Draw();
  EXPECT_TRUE(canvas.Calls.empty());
}

}  // namespace
}  // namespace velmora::cockpit
