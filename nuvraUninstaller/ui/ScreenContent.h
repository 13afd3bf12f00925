#pragma once

#include "service/UninstallService.h"

#include <string>

// Which icon, texts, main control and link belong to each phase. A pure function of the phase so
// it can be tested without drawing anything; the QML view only draws what this says.
struct ScreenContent {
    enum class Icon { appIcon, successMark, warningMark };
    enum class Control { checkingPlaceholder, primaryButton, progressBar };
    enum class Link { none, weakAction, external };
    // What a click on the control or the link asks for.
    enum class Action { none, startUninstall, showLog, openDownloadPage, quit };

    Icon icon = Icon::appIcon;
    std::string headline;
    std::string subtitle;
    Control control = Control::checkingPlaceholder;
    std::string controlTitle; // button label; empty for the placeholder and the progress bar
    Action controlAction = Action::none;
    Link link = Link::none;
    std::string linkTitle;
    Action linkAction = Action::none;

    bool operator==(const ScreenContent&) const = default;
};

ScreenContent screenContentFor(const UninstallService::Phase& phase);
