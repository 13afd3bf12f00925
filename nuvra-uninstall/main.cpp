// nuvra-uninstall: the window's whole job without a window, for management tools and support
// scripts. See HelpText.cpp for the command line and the exit statuses.
#include "CommandMain.h"

int main(int argc, char** argv) {
    return commandMain(argc, argv);
}
