// tarnvex: the spectrum of Lyapunov exponents of a scalar time series, from a dialogue on
// the console. The whole run lives in program::run; this adapter supplies the process's
// console streams and working directory and passes the exit status on.

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <iostream>
#include <string>

#include "program/run.hpp"

int main() {
    std::ios::sync_with_stdio(false);
    std::string cwd;
    char buf[PATH_MAX];
    if (::getcwd(buf, sizeof buf) != nullptr) {
        cwd = buf;
    } else if (const char* pwd = std::getenv("PWD"); pwd != nullptr) {
        cwd = pwd;
    } else {
        cwd = ".";
    }
    return tarnvex::program::run(std::cin, std::cout, std::cerr, cwd);
}
