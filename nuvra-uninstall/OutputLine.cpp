#include "OutputLine.h"

void writeOut(std::string_view text, std::FILE* stream) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}
