// On Linux the input sources are the file-backed stand-in.
#include "TextInputSources.h"

#include "FileBackedInputSources.h"

namespace TextInputSourcesService {

TextInputSources& systemSources() {
    static FileBackedInputSources standIn;
    return standIn;
}

// The stand-in keeps no state in memory and replaces its files atomically: any thread will do.
bool systemRequiresMainThread() {
    return false;
}

} // namespace TextInputSourcesService
