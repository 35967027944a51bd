// Fuzz target: whole runs in process. The input is the answers text, a NUL byte, then the
// bytes of the series file; the series is cut to 600 bytes so that every run is short.

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "program/run.hpp"

namespace {
const std::string& work_dir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/tarnvex-fuzz-XXXXXX";
        const char* d = ::mkdtemp(tmpl);
        return std::string(d != nullptr ? d : "/tmp");
    }();
    return dir;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string answers = input.substr(0, nul);
    std::string series = nul == std::string::npos ? std::string() : input.substr(nul + 1);
    if (series.size() > 600) series.resize(600);

    const std::string& dir = work_dir();
    std::ofstream(dir + "/s.dat", std::ios::binary | std::ios::trunc) << series;
    ::unlink((dir + "/r.out").c_str());
    std::istringstream in("s.dat\nr.out\n" + answers);
    std::ostringstream out, err;
    const int status = tarnvex::program::run(in, out, err, dir);
    if (status < 0 || status > 2) std::abort();
    if ((status == 1) != !err.str().empty()) std::abort();  // a report exactly when fatal
    return 0;
}
