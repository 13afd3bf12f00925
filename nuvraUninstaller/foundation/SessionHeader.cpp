#include "SessionHeader.h"

#include "Bundle.h"
#include "SystemInfo.h"

SessionHeaderFacts SessionHeaderFacts::current() {
    return {
        .appVersion = Bundle::infoString("CFBundleShortVersionString").value_or("?"),
        .appBuild = Bundle::infoString("CFBundleVersion").value_or("?"),
        .systemVersion = SystemInfo::operatingSystemVersion(),
        .systemBuild = SystemInfo::systemControlText("kern.osversion"),
        .machineModel = SystemInfo::systemControlText("hw.model"),
        .architecture = SystemInfo::buildArchitecture(),
    };
}

std::vector<std::string> sessionHeaderLines(const SessionHeaderFacts& facts) {
    std::string separator;
    for (int i = 0; i < 60; ++i)
        separator += "\u2500";
    return {
        separator,
        "nuvra Uninstaller v" + facts.appVersion + " (build " + facts.appBuild + ")",
        "macOS " + facts.systemVersion + " (" + facts.systemBuild + ")",
        "Machine: " + facts.machineModel + " [" + facts.architecture + "]",
        separator,
    };
}
