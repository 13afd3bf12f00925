// Any file checked as an ELF module before the window is loaded: the check ends, reads nothing
// past what it was given, and never takes a header's sizes and offsets on trust.
#include "../platform/linux/LoadableModule.cpp"
#include "ModuleFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ModuleFile file(data, size);
    (void)LoadableModule::damage(file.path());
    return 0;
}
