#include "htmlview/ZoomSteps.h"

#include <algorithm>
#include <iterator>

namespace {

// Zooms this close count as the same step.
constexpr double kSameStep = 0.005;

}  // namespace

double ZoomStep(double from, int steps) {
    const int count = static_cast<int>(std::size(kZoomSteps));
    from = std::clamp(from, kZoomMin, kZoomMax);
    int at;
    if (steps > 0) {
        at = 0;
        while (at < count && kZoomSteps[at] <= from + kSameStep) ++at;
        at += steps - 1;
    } else if (steps < 0) {
        at = count - 1;
        while (at >= 0 && kZoomSteps[at] >= from - kSameStep) --at;
        at += steps + 1;
    } else {
        return from;
    }
    return kZoomSteps[std::clamp(at, 0, count - 1)];
}
