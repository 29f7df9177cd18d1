#include "vehicle/vehicle_state.h"

#include <gtest/gtest.h>

#include <cstring>

#include "vehicle/renderer_api.h"
#include "vehicle/range_fault.h"

namespace velmora::vehicle {
namespace {

TEST(VehicleState, CopyIsAPlainCopyOfEveryField) {
  TVehicleState v;
  v.Kind = kKindTrain;
  v.FormNo = 30;
  v.X = 1.5;
  v.Y = -2.25;
  v.Z = -3;
  v.Heading = 359.5f;
  v.Pitch = -1;
  v.Bank = 2;
  v.Flap = 25;
  v.VX = 4;
  v.VY = 5;
  v.VZ = 6;
  v.UserNo = 7;
  v.GroupNo = 8;
  v.Time = -9;
  v.TrackSegments = 0x00030004u;
  v.PartnerNo = 10;
  v.Missed = 11;
  v.Steps = 12;

  TVehicleState copy;
  std::memcpy(&copy, &v, sizeof v);  // how replay and start state treat it
  EXPECT_EQ(std::memcmp(&copy, &v, sizeof v), 0);
  const TVehicleState assigned = v;
  EXPECT_EQ(assigned.TrackSegments, 0x00030004u);
  EXPECT_EQ(assigned.Steps, 12);
  EXPECT_EQ(assigned.Heading, 359.5f);
}

TEST(VehicleState, TypeNumbersOutsideTheTableAreRangeFaults) {
  TFormTable table;
  table[1].Name = "first";
  table[100].Scale = 30;
  EXPECT_EQ(table[1].Name, "first");
  EXPECT_EQ(table[100].Scale, 30);
  for (int bad : {0, -1, 101, 1 << 30}) {
    EXPECT_THROW(table[bad], RangeFault) << bad;
    const TFormTable& constTable = table;
    EXPECT_THROW(constTable[bad], RangeFault) << bad;
  }
}

TEST(VehicleState, RemoteListEndsAtTheFirstEmptySlot) {
  TVehicleRecords records;
  EXPECT_EQ(RemoteCount(records.Remote), 0);
  records.Remote[0].UserNo = 5;
  records.Remote[1].UserNo = 9;
  records.Remote[3].UserNo = 4;  // behind the end mark: not part of the list
  EXPECT_EQ(RemoteCount(records.Remote), 2);
  for (auto& slot : records.Remote) slot.UserNo = 1;
  EXPECT_EQ(RemoteCount(records.Remote), 100);  // slot 100 is only ever the end mark
}

// The table adapter hands each call to the bound export unchanged.
struct BoundCalls {
  static inline std::string stem;
  static inline int32_t formId = 0;
  static inline float distance = 0;
  static inline const void* const* vehicles = nullptr;
};

TEST(RendererTable, ForwardsCallsToTheBoundExports) {
  vehicle::TRendererTable table;
  table.Initialize = [](void*, int32_t, int32_t) -> int32_t { return 0x40000000; };
  table.Terminate = [] {};
  table.LoadVehicleForm = [](const char* stem, int32_t id, float d) -> int32_t {
    BoundCalls::stem = stem;
    BoundCalls::formId = id;
    BoundCalls::distance = d;
    return -1;
  };
  table.LoadTexture = [](const char*, float) -> int32_t { return 7; };
  table.AddSurface = [](const DXSurface* s, int32_t n) -> int32_t {
    return static_cast<int32_t>(s->Colour) + n;
  };
  table.RemoveSurface = [](int32_t id) -> int32_t { return id == 0 ? 0x20000000 : 0; };
  table.GetNumOfVertexBufs = []() -> int32_t { return 20000; };
  table.Draw = [](float, uint32_t, const void* camera, const void* const* vehicles) -> int32_t {
    BoundCalls::vehicles = vehicles;
    return static_cast<const DXVehicleRecord*>(camera)->FormNo;
  };

  vehicle::TableRenderer api(table);
  EXPECT_EQ(api.DXInitialize(nullptr, 0, 0), 0x40000000);
  EXPECT_EQ(api.DXLoadVehicleForm("airliner", 10, 300.0f), -1);
  EXPECT_EQ(BoundCalls::stem, "airliner");
  EXPECT_EQ(BoundCalls::formId, 10);
  EXPECT_EQ(BoundCalls::distance, 300.0f);
  EXPECT_EQ(api.DXLoadTexture("grass.png", 10), 7);
  DXSurface surface{};
  surface.Colour = 100;
  EXPECT_EQ(api.DXAddSurface(surface, 4), 104);
  EXPECT_EQ(api.DXRemoveSurface(0), 0x20000000);
  EXPECT_EQ(api.DXGetNumOfVertexBufs(), 20000);

  // The renderer reads the camera's leading fields through its own declaration.
  TVehicleState camera;
  camera.FormNo = 12;
  const TVehicleState* vehicles[] = {&camera, nullptr};
  EXPECT_EQ(api.DXDraw(45, 0, camera, vehicles), 12);
  EXPECT_EQ(BoundCalls::vehicles[0], &camera);
  EXPECT_EQ(BoundCalls::vehicles[1], nullptr);
}

}  // namespace
}  // namespace velmora::vehicle
