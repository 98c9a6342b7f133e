#pragma once

// The sizes a document is shown at, from the smallest to the largest; 1 is its own size.
inline constexpr double kZoomSteps[] = {0.5, 0.67, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0};
inline constexpr double kZoomMin = kZoomSteps[0];
inline constexpr double kZoomMax = kZoomSteps[sizeof(kZoomSteps) / sizeof(kZoomSteps[0]) - 1];

// The next step above (`steps` > 0) or below (`steps` < 0) the zoom `from`, that many steps on,
// staying within the smallest and the largest (where `from` is brought first); a zoom between two steps goes
// to the nearer one in that direction.
double ZoomStep(double from, int steps);
