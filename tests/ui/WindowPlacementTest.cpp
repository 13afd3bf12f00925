// Where the window goes at launch and around the administrator password dialog, in bottom-left
// screen coordinates, and the conversion to and from Qt's top-left ones.
#include "ui/WindowPlacement.h"

#include <gtest/gtest.h>

namespace {

using WindowPlacement::Point;
using WindowPlacement::Rect;

// A 1440 × 900 screen whose visible area leaves out a 25-point strip at the bottom (the Dock).
const Rect visibleFrame{0, 25, 1440, 875};

TEST(WindowPlacement, LaunchCentresTheContentAreaNotTheFrame) {
    EXPECT_EQ(WindowPlacement::launchOrigin(visibleFrame), (Point{480, 237.5}));
    // The visible frame's origin carries through.
    EXPECT_EQ(WindowPlacement::launchOrigin(Rect{1440, 100, 1920, 1000}), (Point{2160, 375}));
}

TEST(WindowPlacement, MakingRoomDependsOnlyOnTheFramesSize) {
    for (const Rect frame : {Rect{480, 237.5, 480, 478}, Rect{-300, 2000, 480, 478}}) {
        EXPECT_EQ(WindowPlacement::roomForSystemDialogOrigin(visibleFrame, frame),
                  (Point{40, 223.5}));
    }
    // On a second screen to the right, "left side" is that screen's left side.
    EXPECT_EQ(
        WindowPlacement::roomForSystemDialogOrigin(Rect{1440, 0, 1920, 1080}, Rect{0, 0, 480, 478}),
        (Point{1480, 301}));
}

TEST(WindowPlacement, FlippingConvertsBetweenBottomLeftAndTopLeftAndBack) {
    const double screenHeight = 900;
    // The visible area reaches the top edge: 0 from the top.
    EXPECT_EQ(WindowPlacement::flipped(visibleFrame, screenHeight), (Rect{0, 0, 1440, 875}));
    const Rect window{480, 223.5, 480, 478};
    const Rect topLeft = WindowPlacement::flipped(window, screenHeight);
    EXPECT_EQ(topLeft, (Rect{480, 198.5, 480, 478}));
    EXPECT_EQ(WindowPlacement::flipped(topLeft, screenHeight), window);
}

} // namespace
