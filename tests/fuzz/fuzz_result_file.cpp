// Fuzz target: the result-file reader (the kit's table and plot, Python's read_result) over
// arbitrary text. A text that is not a result file is refused with a ResultFileError.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tarnvex/result_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    tarnvex::ResultFileContents r;
    try {
        r = tarnvex::parse_result_file(text);
    } catch (const tarnvex::ResultFileError&) {
        return 0;
    }
    // What was accepted: two names of 20 characters, and one spectrum record for every line
    // after the third, each with one estimate per dimension of 1 to 20.
    if (r.series_name.size() != 20 || r.result_name.size() != 20) std::abort();
    std::size_t lines = 0;
    for (const char c : text)
        lines += c == '\n' ? 1u : 0u;
    if (r.records.size() + 3 != lines) std::abort();
    for (const auto& rec : r.records) {
        if (rec.dimension < 1 || rec.dimension > 20) std::abort();
        if (rec.estimates.size() != static_cast<std::size_t>(rec.dimension)) std::abort();
    }
    return 0;
}
