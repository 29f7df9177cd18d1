#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/client_message.h"

namespace velmora::server {
namespace {

TEST(ClientMessage, ReadsAFullStateAsTheProgramFormatsIt) {
  const auto message = ParseClientMessage(
      "40;7;1;123456;1;12;100;-200;-300000;9000;-150;2500;500;-1234;20000;-50;");
  ASSERT_TRUE(message);
  const auto* state = std::get_if<StateMessage>(&*message);
  ASSERT_NE(state, nullptr);
  const WireVehicle& v = state->Vehicle;
  EXPECT_EQ(v.UserNo, 7);
  EXPECT_EQ(state->RoomNo, 1);
  EXPECT_EQ(state->Time, 123456);
  EXPECT_EQ(v.Kind, 1);
  EXPECT_EQ(v.FormNo, 12);
  EXPECT_EQ(v.X, 100);
  EXPECT_EQ(v.Y, -200);
  EXPECT_EQ(v.Z, -300000);
  EXPECT_EQ(v.Heading, 9000);
  EXPECT_EQ(v.Pitch, -150);
  EXPECT_EQ(v.Bank, 2500);
  EXPECT_EQ(v.Flap, 500);
  EXPECT_EQ(v.VX, -1234);
  EXPECT_EQ(v.VY, 20000);
  EXPECT_EQ(v.VZ, -50);
  EXPECT_EQ(v.GroupNo, 0);
}

TEST(ClientMessage, ReadsEveryOtherCode) {
  const auto empty = ParseClientMessage("40;0;");
  ASSERT_TRUE(empty);
  EXPECT_EQ(std::get<StateMessage>(*empty).Vehicle.UserNo, 0);

  const auto login = ParseClientMessage("30;guest\ttovel\t-5;my name\twith tab");
  ASSERT_TRUE(login);
  const auto& l = std::get<LoginMessage>(*login);
  EXPECT_EQ(l.Account, "guest");
  EXPECT_EQ(l.Password, "tovel");
  EXPECT_EQ(l.Clock, -5);
  EXPECT_EQ(l.Handle, "my name\twith tab");

  const auto mission = ParseClientMessage("50;7;1;3;");
  ASSERT_TRUE(mission);
  EXPECT_EQ(std::get<MissionMessage>(*mission).MissionNo, 3);

  const auto shot = ParseClientMessage("60;7;1;9;");
  ASSERT_TRUE(shot);
  EXPECT_EQ(std::get<ShotMessage>(*shot).TargetNo, 9);

  const auto chat = ParseClientMessage("20;7;1;a;b c\t");
  ASSERT_TRUE(chat);
  EXPECT_EQ(std::get<ChatMessage>(*chat).Text, "a;b c");

  const auto other = ParseClientMessage("99;whatever");
  ASSERT_TRUE(other);
  EXPECT_EQ(std::get<OtherMessage>(*other).Code, 99);
}

TEST(ClientMessage, RejectsBodiesThatDoNotFitTheirCode) {
  const std::vector<std::string> bodies = {
      "",
      "x;",
      "40;",
      "40;0;extra",
      "40;7;1;123456;1;12;100;-200;-300000;9000;0;0;500;0;20000;",       // 14 fields
      "40;7;1;123456;1;12;100;-200;-300000;9000;0;0;500;0;20000;0;1;",   // 16 fields
      "40;7;1;123456;1;12;nan;-200;-300000;9000;0;0;500;0;20000;0;",     // not a number
      "40;7;1;123456;1;12;1e11;-200;-300000;9000;0;0;500;0;20000;0;",    // beyond the world
      "40;7;1;123456;1;12;100;-200;-300000;3000000000;0;0;500;0;20000;0;",  // beyond 32 bits
      "30;guest",
      "30;guest\ttovel",
      "30;guest\ttovel\tabc;name",
      "30;guest\ntovel\t1;name",
      "50;7;1;",
      "50;7;1;3;4;",
      "60;7;1;x;",
      "20;7;1;no tab",
      "20;7;1;two\ttabs\t",
      "20;7;hello\t",
  };
  for (const std::string& body : bodies) {
    EXPECT_FALSE(ParseClientMessage(body)) << body;
  }
}

}  // namespace
}  // namespace velmora::server
