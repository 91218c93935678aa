// The counters a running search publishes for a progress display: the library's korv::Progress,
// which the search writes with relaxed stores (see its invariants).
#pragma once

#include "korv/progress.h"

namespace korvcore {

using SearchProgress = korv::Progress;

}  // namespace korvcore
