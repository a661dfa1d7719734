#pragma once

// The screen rectangle in game units, which the camera shows whole: the
// street's picture fills it, and the shops and the sidebar stand at its
// middle height.
constexpr double ScreenLeft = -50.0;
constexpr double ScreenRight = 50.0;
constexpr double ScreenBottom = 0.0;
constexpr double ScreenTop = 75.0;
