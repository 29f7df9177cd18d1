#include "vehicle/crew.h"

namespace velmora::vehicle {

// The crew has no callouts or guidance yet: the airliner flies on the pilot's
// inputs alone.
void CrewCallouts(app::TMainState&, double, double) {}

void CrewGuidance(app::TMainState&, double, double) {}

}  // namespace velmora::vehicle
