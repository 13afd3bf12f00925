#include "TextInputSources.h"

#include "FileBackedInputSources.h"

#include <atomic>

namespace TextInputSourcesService {
namespace {

std::atomic<TextInputSources*> replacementForTesting{nullptr};

} // namespace

TextInputSources& shared() {
    if (TextInputSources* replacement = replacementForTesting.load()) {
        return *replacement;
    }
    static FileBackedInputSources standIn;
    return standIn;
}

void overrideForTesting(TextInputSources* replacement) {
    replacementForTesting.store(replacement);
}

bool requiresMainThread() {
    return replacementForTesting.load() != nullptr;
}

} // namespace TextInputSourcesService
