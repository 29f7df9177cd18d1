// A traffic client takes a mission only when no other vehicle stands within a
// vehicle's length of a start point the mission is known to have.
#include "traffic/start_book.h"

#include <gtest/gtest.h>

#include "tests/support/test_vehicles.h"

namespace velmora::traffic {
namespace {

constexpr const char* kCircuit = " 旅客機：滑走路36から離陸";
constexpr const char* kFormation = " 戦闘機：2機編隊";
constexpr const char* kNeverPlaced = " 旅客機：滑走路03から離陸";
constexpr double kAirlinerReach = 40;  // m: two airliners' Scale of 20 m
constexpr double kCarReach = 23;       // m: an airliner's 20 m and a car's 3 m
constexpr double kMargin = 0.01;       // m either side of a bound

vehicle::TVehicleState At(int32_t formNo, double x, double y, double z) {
  vehicle::TVehicleState v;
  v.UserNo = 9;
  v.Kind = formNo / 10;
  v.FormNo = formNo;
  v.X = x;
  v.Y = y;
  v.Z = z;
  return v;
}

TEST(StartBook, AMissionIsTakenOnlyWhenItsStartsAreClear) {
  state::TMainState s;
  testing::FillTestForms(s);
  TStartBook book;
  book.Note(kCircuit, At(testing::kAirlinerGearDown, 0, -1480, -5));
  book.Note(kCircuit, At(testing::kAirlinerGearDown, 0.5, -1480, -5));  // the same point again
  book.Note(kFormation, At(testing::kFighterGearUp, 2000, -6000, -3000));
  book.Note(kFormation, At(testing::kFighterGearUp, 2040, -6060, -3000));
  EXPECT_EQ(book.Size(), 3u);

  struct TRow {
    const char* Mission;
    vehicle::TVehicleState Other;
    double OriginX;  // m, the world offset of the client looking
    bool Clear;
  };
  const TRow rows[] = {
      {kCircuit, At(testing::kAirlinerGearDown, 0, -1480 + kAirlinerReach - kMargin, -5), 0, false},
      {kCircuit, At(testing::kAirlinerGearDown, 0, -1480 + kAirlinerReach + kMargin, -5), 0, true},
      {kCircuit, At(testing::kCar, kCarReach - kMargin, -1480, -5), 0, false},
      {kCircuit, At(testing::kCar, kCarReach + kMargin, -1480, -5), 0, true},
      // Positions are compared absolute: the client's own world offset counts.
      {kCircuit, At(testing::kCar, -1000, -1480, -5), 1000, false},
      // Flying over the start is no obstacle.
      {kCircuit, At(testing::kFighterGearUp, 0, -1480, -300), 0, true},
      // Either start of a mission that has two.
      {kFormation, At(testing::kFighterGearUp, 2040, -6060, -3000), 0, false},
      {kNeverPlaced, At(testing::kCar, 0, -1480, -5), 0, true},
  };
  for (const TRow& row : rows) {
    s.Remote[0] = row.Other;
    s.Remote[1].UserNo = 0;
    s.OriginX = row.OriginX;
    EXPECT_EQ(book.Clear(s, row.Mission, "AI-01", 0), row.Clear)
        << row.Mission << " with type " << row.Other.FormNo << " at (" << row.Other.X << ", "
        << row.Other.Y << ", " << row.Other.Z << ")";
  }
  s.Remote[0].UserNo = 0;
  EXPECT_TRUE(book.Clear(s, kCircuit, "AI-01", 0)) << "nobody there";

  // Two clients that waited for one start: the first to choose keeps it until
  // the server's positions can show its vehicle there.
  constexpr uint32_t kChosenAt = 100000;  // ms
  book.Claim(kCircuit, "AI-03", kChosenAt);
  EXPECT_TRUE(book.Clear(s, kCircuit, "AI-03", kChosenAt)) << "its own choice";
  EXPECT_FALSE(book.Clear(s, kCircuit, "AI-07", kChosenAt + kStartClaimMs - 1));
  EXPECT_TRUE(book.Clear(s, kCircuit, "AI-07", kChosenAt + kStartClaimMs));
  EXPECT_TRUE(book.Clear(s, kFormation, "AI-07", kChosenAt)) << "another mission";
}

}  // namespace
}  // namespace velmora::traffic
