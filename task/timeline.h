// The plan as an SVG picture: a time axis, one lane per edit in write order with its span and
// crossfade, warnings at their edit, and a strip of which edit is heard where in the destination.
#pragma once

#include <string>

#include "task/run_state.h"

namespace wavsplice {

// The picture of a planned run (write order and insert points resolved), 1200 px wide. Coordinates
// come from integer arithmetic, so the same plan gives the same bytes on every platform.
std::string TimelineSvg(const RunState& run);

}  // namespace wavsplice
