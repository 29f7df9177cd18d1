#include <gtest/gtest.h>

#include <string>

#include "server/server_lines.h"

namespace velmora::server {
namespace {

TEST(ServerLines, EveryLineByteForByte) {
  EXPECT_EQ(MissionListLine(52566771, {"Pick one"}, {"Fly", "Drive"}),
            "52566771;0;1;Pick one\tFly\tDrive\t\n");
  EXPECT_EQ(MissionListLine(52566771, {}, {}), "52566771;0;0;\n");
  EXPECT_EQ(RefusalLine(52566771, "no"), "52566771;10;no\t\n");
  EXPECT_EQ(ChatLine(52566771, "ann", "hi there"), "52566771;20;ann\thi there\t\n");
  EXPECT_EQ(LoginAcceptedLine(52566771, 12, 1), "52566771;30;12;1;\n");
  EXPECT_EQ(BaseWindLine(52566771, -250, 300), "52566771;80;-250;300;\n");
  EXPECT_EQ(PositionsHead(-7, 100, 123456, 1, -2), "-7;40;100;123456;1;-2;");

  WireVehicle v;
  v.UserNo = 3;
  v.GroupNo = 1;
  v.Kind = 1;
  v.FormNo = 12;
  v.X = -10000.4;
  v.Y = 250000.5;
  v.Z = -300000;
  v.Heading = 18000;
  v.Pitch = -150;
  v.Bank = 2500;
  v.Flap = 500;
  v.VX = -1;
  v.VY = 20000;
  v.VZ = 0;
  std::string line = PositionsHead(52566771, 100, 5, 0, 0);
  AppendVehicleRecord(line, v, 42);
  line.append(kPositionsEnd);
  EXPECT_EQ(line,
            "52566771;40;100;5;0;0;"
            "3;1;1;12;-10000;250001;-300000;18000;-150;2500;500;-1;20000;0;42;"
            "0;\n");
}

TEST(ServerLines, FreeTextsCannotEndAFieldOrALine) {
  // Each text keeps its length; only the control bytes turn into spaces.
  EXPECT_EQ(ChatLine(1, "a\tb", "x\ny\rz\x01"), "1;20;a b\tx y z \t\n");
  EXPECT_EQ(RefusalLine(1, "a\nb"), "1;10;a b\t\n");
  EXPECT_EQ(MissionListLine(1, {}, {"m\t1"}), "1;0;0;m 1\t\n");
  // Shift-JIS trail bytes (here 0x5C and 0x7C) are printable and stay.
  EXPECT_EQ(CleanText("\x83\x5C\x83\x7C"), "\x83\x5C\x83\x7C");
}

}  // namespace
}  // namespace velmora::server
