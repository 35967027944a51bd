// Fuzz target: the guarded series reader of the kit and the Python package, over the text
// of a series file. A text the layout guards refuse is refused with exactly that refusal
// and then read in free format; any other text is read with the guards.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tarnvex/series.hpp"
#include "tarnvex/tarnvex.hpp"

namespace {

const std::string kName = "s.dat";

// Reads `text`; anything but a SeriesError escapes and ends the run. A reading holds at
// most the sample limit of finite samples and counts at least as many values as it read;
// an error names the file first. Returns the error's message, empty for a reading.
std::string read(std::string_view text, bool free_format) {
    try {
        const tarnvex::SeriesReading r = tarnvex::read_series_text(text, kName, free_format);
        const auto n = static_cast<std::int64_t>(r.samples.size());
        if (n > tarnvex::kMaxSamples || r.values_in_file < n ||
            r.values_in_file > tarnvex::SeriesReading::kMaxValuesCounted)
            std::abort();
        for (const float x : r.samples) {
            if (!std::isfinite(x)) std::abort();
        }
        if (!r.cut_note().empty() && n != tarnvex::kMaxSamples) std::abort();
        return {};
    } catch (const tarnvex::SeriesError& e) {
        const std::string message = e.what();
        if (message.compare(0, kName.size(), kName) != 0) std::abort();
        return message;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string refusal = tarnvex::series_layout_refusal(text, kName);
    if (refusal.empty()) {
        (void)read(text, false);
    } else {
        if (read(text, false) != refusal) std::abort();
        (void)read(text, true);
    }
    return 0;
}
