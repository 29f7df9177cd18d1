// A short trace for the logbook's tests: a train 10 s northwards at 8 m/s
// under a 12.5 m/s limit, 40 samples at 4 Hz.
#pragma once

#include "app/run_trace.h"
#include "vehicle/vehicle_state.h"

namespace velmora::testing {

inline app::TRunTrace ShortTrainTrace() {
  app::TRunTrace trace;
  trace.Kind = vehicle::kKindTrain;
  for (uint32_t i = 0; i < 40; ++i) {
    app::TTraceSample x;
    x.Time = i * app::kTraceInterval;
    x.Y = 2.0 * i;
    x.GroundSpeed = 8;
    x.SpeedLimit = 12.5;
    trace.Samples.push_back(x);
  }
  return trace;
}

}  // namespace velmora::testing
