#include "Sourcectl.h"

#include <iostream>

int main(int argc, char** argv) {
    std::vector<std::string> args(argv, argv + argc);
    int status = runSourcectl(args, TextInputSourcesService::shared(), std::cout);
    std::cout.flush();
    return status;
}
