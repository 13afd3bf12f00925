// nuvra-uninstall itself, with deadlines short enough that a test meets a hung process or tool
// in seconds rather than minutes. Nothing else differs.
#include "CommandMain.h"
#include "foundation/Deadlines.h"

int main(int argc, char** argv) {
    using namespace std::chrono_literals;
    Deadlines::shortenForTesting({10s, 20s, 15s, 3s});
    return commandMain(argc, argv);
}
