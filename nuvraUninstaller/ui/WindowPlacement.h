#pragma once

// Window placement arithmetic in bottom-left screen coordinates (origin at the bottom-left of the
// main screen, y grows upwards, a frame's origin is its bottom-left corner). Qt's top-left
// coordinates are converted in one place, toTopLeft.
namespace WindowPlacement {

struct Rect {
    double x = 0, y = 0, width = 0, height = 0;
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    bool operator==(const Rect&) const = default;
};

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

inline constexpr double contentWidth = 480;
inline constexpr double contentHeight = 450;

// Launch, and re-centring after the password dialog: the content area (not the frame) is centred
// in the visible area; the title bar sits above it. Re-centring uses the same place, so the
// content comes back exactly where it was rather than half a title bar lower.
Point launchOrigin(const Rect& visibleFrame);

// Out of the way of the password dialog: 40 from the left edge, vertically centred.
Point roomForSystemDialogOrigin(const Rect& visibleFrame, const Rect& frame);

// Converts a rectangle between bottom-left coordinates and top-left coordinates of a screen whose
// total height (in the same units) is `screenHeight`. The conversion is its own inverse.
Rect flipped(const Rect& rect, double screenHeight);

} // namespace WindowPlacement
