// Any file checked as a Mach-O module (thin or universal) before the window is loaded on a Mac: the
// check ends, reads nothing past what it was given, and never takes a header's counts, sizes and
// offsets on trust.
#include "../platform/macos/LoadableModule.cpp"
#include "ModuleFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ModuleFile file(data, size);
    (void)LoadableModule::damage(file.path());
    return 0;
}
