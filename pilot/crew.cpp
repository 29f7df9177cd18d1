#include "pilot/crew.h"

namespace velmora::pilot {

// The crew has no callouts or guidance yet: the airliner flies on the pilot's
// inputs alone.
void CrewCallouts(state::TMainState&, double, double) {}

void CrewGuidance(state::TMainState&, double, double) {}

}  // namespace velmora::pilot
