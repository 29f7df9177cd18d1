#include "vehicle/vehicle_state.h"

#include "vehicle/range_fault.h"

namespace velmora::vehicle {
namespace {

void CheckFormNo(int formNo) {
  if (!TFormTable::InRange(formNo)) {
    throw RangeFault("vehicle type number " + std::to_string(formNo) + " is outside 1..100");
  }
}

}  // namespace

const TFormParam& TFormTable::operator[](int formNo) const {
  CheckFormNo(formNo);
  return entries_[static_cast<std::size_t>(formNo - 1)];
}

TFormParam& TFormTable::operator[](int formNo) {
  CheckFormNo(formNo);
  return entries_[static_cast<std::size_t>(formNo - 1)];
}

int RemoteCount(const TRemoteList& list) {
  int count = 0;
  while (count < kRemoteSlots - 1 && list[static_cast<std::size_t>(count)].UserNo != 0) ++count;
  return count;
}

}  // namespace velmora::vehicle
