// A traffic client takes a mission only while no other vehicle stands within
// a vehicle's length of a start point the mission is known to have.
#include "traffic/start_book.h"

#include <gtest/gtest.h>

#include "tests/support/test_vehicles.h"

namespace velmora::traffic {
namespace {

constexpr const char* kCircuit = " 旅客機：滑走路36から離陸";
constexpr const char* kFormation = " 戦闘機：2機編隊";
constexpr double kAirliners = 40;  // m: two airliners' Scale of 20 m
constexpr double kCarReach = 23;   // m: an airliner's 20 m and a car's 3 m
constexpr double kMargin = 0.01;   // m either side of a bound

vehicle::TVehicleState At(int32_t formNo, double x, double y, double z) {
  vehicle::TVehicleState v;
  v.UserNo = 9;
  v.Kind = formNo / 10;
  v.FormNo = formNo;
  v.X = x, v.Y = y, v.Z = z;
  return v;
}

TEST(StartBook, AMissionIsTakenOnlyWhenItsStartsAreClear) {
  state::TMainState s;
  testing::FillTestForms(s);
  TStartBook book;
  book.Note(kCircuit, At(testing::kAirlinerGearDown, 0, -1480, -5));
  book.Note(kFormation, At(testing::kFighterGearUp, 2000, -6000, -3000));
  book.Note(kFormation, At(testing::kFighterGearUp, 2040, -6060, -3000));
  const struct {
    const char* Mission;
    vehicle::TVehicleState Other;
    double OriginX;  // m, the world offset of the client looking
    bool Clear;
  } rows[] = {
      {kCircuit, At(testing::kAirlinerGearDown, 0, -1480 + kAirliners - kMargin, -5), 0, false},
      {kCircuit, At(testing::kAirlinerGearDown, 0, -1480 + kAirliners + kMargin, -5), 0, true},
      {kCircuit, At(testing::kCar, kCarReach - kMargin, -1480, -5), 0, false},
      {kCircuit, At(testing::kCar, kCarReach + kMargin, -1480, -5), 0, true},
      {kCircuit, At(testing::kCar, -1000, -1480, -5), 1000, false},      // absolute positions
      {kCircuit, At(testing::kFighterGearUp, 0, -1480, -300), 0, true},  // flying over it
      {kFormation, At(testing::kFighterGearUp, 2040, -6060, -3000), 0, false},  // either start
      {" 旅客機：滑走路03から離陸", At(testing::kCar, 0, -1480, -5), 0, true},  // never placed
  };
  for (const auto& row : rows) {
    s.Remote[0] = row.Other;
    s.OriginX = row.OriginX;
    EXPECT_EQ(book.Clear(s, row.Mission, "AI-01", 0), row.Clear)
        << row.Mission << " " << row.Other.X << ", " << row.Other.Y << ", " << row.Other.Z;
  }
  // Two clients waited for one start: the first to choose keeps it until the
  // server's positions can show its vehicle there.
  s.Remote[0].UserNo = 0;
  book.Claim(kCircuit, "AI-03", 1000);
  EXPECT_TRUE(book.Clear(s, kCircuit, "AI-03", 1000)) << "its own choice";
  EXPECT_FALSE(book.Clear(s, kCircuit, "AI-07", 1000 + kStartClaimMs - 1));
  EXPECT_TRUE(book.Clear(s, kCircuit, "AI-07", 1000 + kStartClaimMs));
}

}  // namespace
}  // namespace velmora::traffic
