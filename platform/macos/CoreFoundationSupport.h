#pragma once

// What the Mac files share for Core Foundation objects: ownership and text conversion.

#include <CoreFoundation/CoreFoundation.h>
#include <optional>
#include <string>
#include <vector>

// Owns one Core Foundation object that we created or copied, and releases it exactly once.
template <typename Ref> class CoreFoundationObject {
public:
    explicit CoreFoundationObject(Ref retained) : object_(retained) {}
    CoreFoundationObject(const CoreFoundationObject&) = delete;
    CoreFoundationObject& operator=(const CoreFoundationObject&) = delete;
    ~CoreFoundationObject() {
        if (object_ != nullptr)
            CFRelease(object_);
    }
    Ref get() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

private:
    Ref object_;
};

inline CoreFoundationObject<CFStringRef> makeCFString(const std::string& utf8) {
    return CoreFoundationObject<CFStringRef>(
        CFStringCreateWithCString(kCFAllocatorDefault, utf8.c_str(), kCFStringEncodingUTF8));
}

// The UTF-8 bytes of a string; none when it cannot be converted.
inline std::optional<std::string> utf8Text(CFStringRef text) {
    const CFIndex capacity =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(text), kCFStringEncodingUTF8) + 1;
    std::vector<char> buffer(static_cast<std::size_t>(capacity));
    if (!CFStringGetCString(text, buffer.data(), capacity, kCFStringEncodingUTF8))
        return std::nullopt;
    return std::string(buffer.data());
}
