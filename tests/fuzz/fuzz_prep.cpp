// Fuzz target: the column reader of tarnvex-kit prep over the text of a measurement file.
// The first two bytes choose the options within the ranges the command accepts: the column
// (1 to 4), the header lines skipped (0 to 3), decimal commas, --cut, and the steps.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kit/commands.hpp"
#include "kit/options.hpp"
#include "tarnvex/tarnvex.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    constexpr long kSteps[] = {2, 3, 10, 100000, 65536, 999999937, 1000000000, 7};
    tarnvex::kit::PrepOptions opt;
    opt.column = 1 + (data[0] & 3);
    opt.skip = (data[0] >> 2) & 3;
    opt.decimal_comma = (data[0] & 16) != 0;
    opt.cut = (data[0] & 32) != 0;
    opt.steps = kSteps[data[1] & 7];
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    tarnvex::kit::PreparedSeries p;
    try {
        p = tarnvex::kit::prepare_series(text, opt);
    } catch (const tarnvex::kit::UsageError&) {
        return 0;  // a refusal is an answer
    }
    // A prepared series: one integer a line, the smallest value 0 and the largest the steps,
    // at most the sample limit of them.
    if (p.count < 2 || p.count > tarnvex::kMaxSamples) std::abort();
    if (p.distinct_after > p.distinct_before || p.distinct_after < 2) std::abort();
    long lines = 0;
    long long lo = 0, hi = 0;
    std::size_t pos = 0;
    while (pos < p.text.size()) {
        const std::size_t lf = p.text.find('\n', pos);
        if (lf == std::string::npos) std::abort();
        const std::string line = p.text.substr(pos, lf - pos);
        char* end = nullptr;
        const long long y = std::strtoll(line.c_str(), &end, 10);
        if (line.empty() || *end != '\0' || std::to_string(y) != line) std::abort();
        lo = lines == 0 ? y : std::min(lo, y);
        hi = lines == 0 ? y : std::max(hi, y);
        ++lines;
        pos = lf + 1;
    }
    if (lines != p.count || lo != 0 || hi != opt.steps) std::abort();
    return 0;
}
