// The tick's millisecond clock for tests and benchmarks: it reads whatever
// was last set.
#pragma once

#include <cstdint>

#include "app/tick.h"

namespace velmora::testing {

class TSettableClock : public app::TClock {
 public:
  uint32_t Now = 0;  // ms, the reading the clock gives
  uint32_t SystemMilliseconds() const override { return Now; }
};

}  // namespace velmora::testing
