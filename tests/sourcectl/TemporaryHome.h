#pragma once

// A throwaway home folder with input-method bundles and a HIToolbox preferences file.
#include "PlistValue.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <plist/plist.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testing_home {

inline const std::string nuvraBundleID = "ai.nuvra.inputmethod.NuvraInput";
inline const std::string nuvraModeID = "ai.nuvra.inputmethod.NuvraInput.default";

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline std::string xmlPlist(const std::string& body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
           "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
           "<plist version=\"1.0\">\n" +
           body + "\n</plist>\n";
}

// Any property list (XML or binary) re-rendered by one writer with its keys sorted, so two files
// compare value for value regardless of format, whitespace and key order (which the platform does
// not keep either). Empty when the bytes are not a property list.
inline std::string canonicalXML(const std::string& bytes) {
    std::optional<plist::Value> value = plist::parse(bytes);
    return value ? plist::toXml(*value).value_or("") : "";
}

inline std::string toBinary(const std::string& xml) {
    plist_t root = nullptr;
    plist_from_xml(xml.data(), static_cast<uint32_t>(xml.size()), &root);
    if (!root) {
        throw std::runtime_error("bad test plist");
    }
    char* bin = nullptr;
    uint32_t length = 0;
    plist_to_bin(root, &bin, &length);
    std::string bytes(bin, length);
    std::free(bin);
    plist_free(root);
    return bytes;
}

class TemporaryHome {
public:
    TemporaryHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "sourcectl-test-XXXXXX");
        if (!::mkdtemp(pattern.data())) {
            throw std::runtime_error("mkdtemp failed");
        }
        root_ = pattern;
    }
    ~TemporaryHome() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryHome(const TemporaryHome&) = delete;
    TemporaryHome& operator=(const TemporaryHome&) = delete;

    const std::filesystem::path& path() const { return root_; }
    std::filesystem::path userInputMethods() const { return root_ / "Library/Input Methods"; }
    std::filesystem::path preferences() const {
        return root_ / "Library/Preferences/com.apple.HIToolbox.plist";
    }

    static void addInputMethod(const std::filesystem::path& folder, const std::string& appName,
                               const std::string& bundleID, const std::vector<std::string>& modes) {
        std::string modeDict;
        for (const std::string& mode : modes) {
            modeDict += "<key>" + mode + "</key><dict><key>tsInputModeIsVisibleKey</key><true/>" +
                        "</dict>";
        }
        writeFile(folder / appName / "Contents/Info.plist",
                  xmlPlist("<dict><key>CFBundleIdentifier</key><string>" + bundleID +
                           "</string><key>ComponentInputModeDict</key><dict>"
                           "<key>tsInputModeListKey</key><dict>" +
                           modeDict + "</dict></dict></dict>"));
    }

    void addNuvraInputMethod() const {
        addInputMethod(userInputMethods(), "nuvraInput.app", nuvraBundleID, {nuvraModeID});
    }

private:
    std::filesystem::path root_;
};

// Preference entries in the shapes macOS writes.
inline std::string methodEntry(const std::string& bundleID) {
    return "<dict><key>Bundle ID</key><string>" + bundleID +
           "</string><key>InputSourceKind</key><string>Keyboard Input Method</string></dict>";
}
inline std::string modeEntry(const std::string& bundleID, const std::string& mode) {
    return "<dict><key>Bundle ID</key><string>" + bundleID + "</string><key>Input Mode</key>" +
           "<string>" + mode + "</string><key>InputSourceKind</key><string>Input Mode</string>" +
           "</dict>";
}
inline std::string layoutEntry(const std::string& id, const std::string& name) {
    return "<dict><key>InputSourceKind</key><string>Keyboard Layout</string>"
           "<key>KeyboardLayout ID</key><integer>" +
           id + "</integer><key>KeyboardLayout Name</key><string>" + name + "</string></dict>";
}

// A realistic preferences file; `nuvraEntries` goes into the enabled list between other entries.
inline std::string preferencesWith(const std::string& nuvraEntries) {
    return xmlPlist("<dict>"
                    "<key>AppleCurrentKeyboardLayoutInputSourceID</key>"
                    "<string>com.apple.keylayout.ABC</string>"
                    "<key>AppleEnabledInputSources</key><array>" +
                    layoutEntry("252", "ABC") + nuvraEntries + layoutEntry("-31000", "Custom") +
                    "<string>not an entry</string>" + methodEntry("com.other.inputmethod") +
                    "</array>"
                    "<key>AppleFnUsageType</key><integer>2</integer>"
                    "<key>AppleInputSourceHistory</key><array>" +
                    layoutEntry("252", "ABC") +
                    "</array>"
                    "<key>AppleSelectedInputSources</key><array>" +
                    layoutEntry("252", "ABC") +
                    "</array>"
                    "<key>Extra</key><dict><key>when</key><date>2023-05-01T10:20:30Z</date>"
                    "<key>blob</key><data>AAEC/w==</data><key>ratio</key><real>1.5</real>"
                    "<key>flag</key><false/><key>big</key><integer>-1</integer></dict>"
                    "</dict>");
}

} // namespace testing_home
