// The sample installation loaded into a main state, as the program holds it
// after start-up, and a clock that a test steps by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "app/tick.h"
#include "state/main_state.h"
#include "tests/data/installation.h"
#include "tests/support/fake_renderer.h"

namespace velmora::testing {

class SteppingClock : public app::TClock {
 public:
  explicit SteppingClock(uint32_t now = 0) : Now(now) {}
  uint32_t Now;
  uint32_t SystemMilliseconds() const override { return Now; }
};

class SampleWorldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    renderer.GiveTextureIds = true;
    LoadInstallation(renderer, installation);
    ASSERT_TRUE(installation.Ok());
    s.Forms = *installation.Forms;
    s.World = installation.World.get();
  }

  FakeRenderer renderer;
  TInstallation installation;
  state::TMainState s;
};

}  // namespace velmora::testing
