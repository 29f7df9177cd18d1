// The error raised where a value leaves the range a table or the position grid
// can hold: a vehicle type number outside 1..100, a position step too large for
// the fixed grid. Callers that can recover catch it; anything else reports it
// like any other failed operation.
#pragma once

#include <stdexcept>
#include <string>

namespace velmora::vehicle {

class RangeFault : public std::range_error {
 public:
  explicit RangeFault(const std::string& what) : std::range_error(what) {}
};

}  // namespace velmora::vehicle
