#include <iostream>
#include <string>
#include <vector>

#include "kit/commands.hpp"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tarnvex::kit::run_kit(args, std::cout, std::cerr);
}
