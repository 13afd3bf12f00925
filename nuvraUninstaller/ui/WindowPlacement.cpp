#include "ui/WindowPlacement.h"

namespace WindowPlacement {

Point launchOrigin(const Rect& visibleFrame) {
    return {visibleFrame.midX() - contentWidth / 2, visibleFrame.midY() - contentHeight / 2};
}

Point roomForSystemDialogOrigin(const Rect& visibleFrame, const Rect& frame) {
    return {visibleFrame.x + 40, visibleFrame.midY() - frame.height * 0.5};
}

Rect flipped(const Rect& rect, double screenHeight) {
    return {rect.x, screenHeight - rect.y - rect.height, rect.width, rect.height};
}

} // namespace WindowPlacement
