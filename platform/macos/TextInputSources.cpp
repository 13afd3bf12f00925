// Text Input Sources on macOS: the Carbon HIToolbox functions the seam is named after.
//
// Carbon and the seam both name their handle type TISInputSourceRef; in this file only, Carbon's
// is spelt CarbonInputSourceRef so that both can be seen at once.
#define TISInputSourceRef CarbonInputSourceRef
#include <Carbon/Carbon.h>
#undef TISInputSourceRef

#include "CoreFoundationSupport.h"
#include "TextInputSources.h"

#include <vector>

namespace {

// The seam's handle: one retained Carbon input source, released with the last copy of the handle.
struct CarbonInputSource final : TISInputSource {
    explicit CarbonInputSource(CarbonInputSourceRef retained) : source(retained) {}
    CarbonInputSource(const CarbonInputSource&) = delete;
    CarbonInputSource& operator=(const CarbonInputSource&) = delete;
    ~CarbonInputSource() override { CFRelease(source); }
    CarbonInputSourceRef source;
};

TISInputSourceRef handleFor(CarbonInputSourceRef retained) {
    if (retained == nullptr)
        return nullptr;
    return std::make_shared<const CarbonInputSource>(retained);
}

CarbonInputSourceRef carbonSource(const TISInputSourceRef& handle) {
    const auto* source = dynamic_cast<const CarbonInputSource*>(handle.get());
    return source != nullptr ? source->source : nullptr;
}

CFStringRef propertyKey(TISPropertyKey key) {
    switch (key) {
    case TISPropertyKey::kTISPropertyInputSourceID:
        return kTISPropertyInputSourceID;
    case TISPropertyKey::kTISPropertyBundleID:
        return kTISPropertyBundleID;
    case TISPropertyKey::kTISPropertyInputSourceIsEnabled:
        return kTISPropertyInputSourceIsEnabled;
    case TISPropertyKey::kTISPropertyInputSourceIsSelectCapable:
        return kTISPropertyInputSourceIsSelectCapable;
    }
    return kTISPropertyInputSourceID;
}

class CarbonInputSources final : public TextInputSources {
public:
    std::optional<std::vector<TISInputSourceRef>>
    TISCreateInputSourceList(TISPropertyKey filterKey, const std::string& filterValue,
                             bool includeAllInstalled) override {
        const CoreFoundationObject<CFStringRef> value = makeCFString(filterValue);
        if (!value)
            return std::nullopt;
        const void* keys[] = {propertyKey(filterKey)};
        const void* values[] = {value.get()};
        const CoreFoundationObject<CFDictionaryRef> filter(
            CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                               &kCFTypeDictionaryValueCallBacks));
        if (!filter)
            return std::nullopt;
        const CoreFoundationObject<CFArrayRef> list(
            ::TISCreateInputSourceList(filter.get(), includeAllInstalled ? 1 : 0));
        if (!list)
            return std::nullopt;
        std::vector<TISInputSourceRef> sources;
        const CFIndex count = CFArrayGetCount(list.get());
        for (CFIndex i = 0; i < count; ++i) {
            // The list holds its elements; each handle keeps its own reference.
            auto* source = static_cast<CarbonInputSourceRef>(
                const_cast<void*>(CFArrayGetValueAtIndex(list.get(), i)));
            CFRetain(source);
            sources.push_back(handleFor(source));
        }
        return sources;
    }

    TISPropertyValue TISGetInputSourceProperty(const TISInputSourceRef& handle,
                                               TISPropertyKey key) override {
        const CarbonInputSourceRef source = carbonSource(handle);
        if (source == nullptr)
            return std::monostate{};
        // Borrowed from the source (Get rule): read, never released.
        const CFTypeRef value = ::TISGetInputSourceProperty(source, propertyKey(key));
        if (value == nullptr)
            return std::monostate{};
        if (CFGetTypeID(value) == CFStringGetTypeID()) {
            if (auto text = utf8Text(static_cast<CFStringRef>(value)))
                return *std::move(text);
            return std::monostate{};
        }
        if (CFGetTypeID(value) == CFBooleanGetTypeID())
            return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0;
        return std::monostate{};
    }

    TISInputSourceRef TISCopyCurrentKeyboardInputSource() override {
        return handleFor(::TISCopyCurrentKeyboardInputSource());
    }

    // A handle that did not come from here is a parameter error, as Carbon would say.
    OSStatus TISSelectInputSource(const TISInputSourceRef& handle) override {
        const CarbonInputSourceRef source = carbonSource(handle);
        return source != nullptr ? ::TISSelectInputSource(source) : paramErr;
    }
    OSStatus TISEnableInputSource(const TISInputSourceRef& handle) override {
        const CarbonInputSourceRef source = carbonSource(handle);
        return source != nullptr ? ::TISEnableInputSource(source) : paramErr;
    }
    OSStatus TISDisableInputSource(const TISInputSourceRef& handle) override {
        const CarbonInputSourceRef source = carbonSource(handle);
        return source != nullptr ? ::TISDisableInputSource(source) : paramErr;
    }
};

} // namespace

namespace TextInputSourcesService {

TextInputSources& systemSources() {
    static CarbonInputSources system;
    return system;
}

// The Text Input Sources API may only be called on the main thread.
bool systemRequiresMainThread() {
    return true;
}

} // namespace TextInputSourcesService
