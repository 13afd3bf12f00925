// The test override of the input-source seam, the same on every system.
#include "TextInputSources.h"

#include <atomic>

namespace TextInputSourcesService {
namespace {

std::atomic<TextInputSources*> replacementForTesting{nullptr};

} // namespace

TextInputSources& shared() {
    if (TextInputSources* replacement = replacementForTesting.load()) {
        return *replacement;
    }
    return systemSources();
}

void overrideForTesting(TextInputSources* replacement) {
    replacementForTesting.store(replacement);
}

bool requiresMainThread() {
    return replacementForTesting.load() != nullptr || systemRequiresMainThread();
}

} // namespace TextInputSourcesService
