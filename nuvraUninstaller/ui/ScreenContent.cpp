#include "ui/ScreenContent.h"

#include "discovery/KeyboardSettingsItem.h"

namespace {

using Icon = ScreenContent::Icon;
using Control = ScreenContent::Control;
using Link = ScreenContent::Link;
using Action = ScreenContent::Action;

const char* const uninstallHeadline = "Uninstall nuvra";
const char* const introSubtitle =
    "This removes nuvra from this Mac, including your sign-in and settings.";

ScreenContent button(Icon icon, std::string headline, std::string subtitle, std::string title,
                     Action action, Link link = Link::none, std::string linkTitle = {},
                     Action linkAction = Action::none) {
    return ScreenContent{icon,
                         std::move(headline),
                         std::move(subtitle),
                         Control::primaryButton,
                         std::move(title),
                         action,
                         link,
                         std::move(linkTitle),
                         linkAction};
}

// Keyboard-settings entries are left only when the settings could not be changed safely; the
// person is told what became of their settings, since those hold every layout they set up.
std::string residueSubtitle(const std::vector<std::string>& residues) {
    const std::string keyboard = std::string(KeyboardSettingsItem::title) + " (";
    const std::string unreadable = keyboard + KeyboardSettingsItem::notCheckedDetail + ")";
    for (const std::string& residue : residues) {
        if (residue == unreadable) {
            return "Your keyboard settings could not be read, so nuvra's entries may still be "
                   "in them. The log tells more.";
        }
        if (residue.starts_with(keyboard)) {
            return "Your keyboard settings were kept as they were, nuvra's entries included. "
                   "The log lists what is left.";
        }
    }
    return "Some items could not be removed. Restarting your Mac usually clears them.";
}

struct ScreenFor {
    ScreenContent operator()(const UninstallService::Scanning&) const {
        ScreenContent screen;
        screen.headline = uninstallHeadline;
        screen.subtitle = introSubtitle;
        return screen;
    }
    ScreenContent operator()(const UninstallService::Ready&) const {
        return button(Icon::appIcon, uninstallHeadline, introSubtitle, "Uninstall",
                      Action::startUninstall);
    }
    ScreenContent operator()(const UninstallService::Uninstalling&) const {
        ScreenContent screen;
        screen.headline = uninstallHeadline;
        screen.subtitle = "Your Mac may ask for your password to remove nuvra from the system "
                          "Input Methods folder.";
        screen.control = Control::progressBar;
        return screen;
    }
    ScreenContent operator()(const UninstallService::Done& done) const {
        if (done.residues.empty()) {
            return button(Icon::successMark, "Goodbye.",
                          "nuvra was removed. Thanks for giving it a try.", "Quit", Action::quit,
                          Link::external, "Download nuvra again", Action::openDownloadPage);
        }
        return button(Icon::successMark, "nuvra was removed", residueSubtitle(done.residues),
                      "Quit", Action::quit, Link::weakAction, "Show Log", Action::showLog);
    }
    ScreenContent operator()(const UninstallService::NothingFound&) const {
        return button(Icon::successMark, "nuvra was not found",
                      "There is nothing to remove on this Mac.", "Quit", Action::quit,
                      Link::weakAction, "Clean up anyway", Action::startUninstall);
    }
    ScreenContent operator()(const UninstallService::Failed& failed) const {
        return button(Icon::warningMark, "Couldn't finish uninstalling",
                      failed.stepTitle + ": " + failed.message, "Retry", Action::startUninstall,
                      Link::weakAction, "Show Log", Action::showLog);
    }
};

} // namespace

ScreenContent screenContentFor(const UninstallService::Phase& phase) {
    return std::visit(ScreenFor{}, phase);
}
