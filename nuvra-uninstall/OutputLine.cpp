#include "OutputLine.h"

#include "ExitStatus.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {
int firstOutputError = 0; // errno of the first failed write to standard output
} // namespace

void writeOut(std::string_view text, std::FILE* stream) {
    errno = 0;
    const bool written =
        std::fwrite(text.data(), 1, text.size(), stream) == text.size() && std::fflush(stream) == 0;
    if (!written && stream == stdout && firstOutputError == 0) {
        firstOutputError = errno != 0 ? errno : EIO;
        std::clearerr(stream);
    }
}

int outputFailure(int status) {
    if (firstOutputError == 0) {
        return status;
    }
    const std::string sentence = std::string("nuvra-uninstall: could not write the output: ") +
                                 std::strerror(firstOutputError) + "\n";
    std::fputs(sentence.c_str(), stderr);
    return code(ExitStatus::internalError);
}
