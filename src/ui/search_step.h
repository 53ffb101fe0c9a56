#pragma once

#include <functional>

namespace mervok {

// The steps a running search reports, in the order they can come.
enum class SearchStep { kCandidate, kCheckStarted, kCandidateChecked, kHit, kFinished };

// Called on the search's own thread at each step, before the window hears of
// it.
using SearchProbe = std::function<void(SearchStep)>;

}  // namespace mervok
