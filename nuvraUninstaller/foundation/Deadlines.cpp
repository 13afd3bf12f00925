#include "foundation/Deadlines.h"

namespace Deadlines {
namespace {

using std::chrono::minutes;
using std::chrono::seconds;

// A tool answers within seconds on a working Mac; a database dump can take a minute on a slow
// one. The account's process may run several tools, a dump among them, for one reply.
Values& values() {
    static Values fixed{minutes(1), minutes(3), minutes(4), seconds(10)};
    return fixed;
}

} // namespace

const Values& current() {
    return values();
}

void shortenForTesting(const Values& shorter) {
    values() = shorter;
}

std::string spoken(Duration duration) {
    return std::to_string(std::chrono::duration_cast<seconds>(duration).count()) + " s";
}

} // namespace Deadlines
