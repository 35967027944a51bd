// Fuzz target: loading a series file of arbitrary bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "textio/reader.hpp"
#include "textio/series.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static auto series = std::make_unique<tarnvex::textio::SampleTable>();
    tarnvex::textio::StringSource src(std::string_view(reinterpret_cast<const char*>(data), size));
    // Every outcome is a status; none may crash.
    (void)tarnvex::textio::read_series(src, *series);
    if (series->ndata < 0 || series->ndata > tarnvex::NMAX) std::abort();
    for (std::int32_t i = 0; i < series->ndata; ++i) {
        if (!std::isfinite(series->x[static_cast<std::size_t>(i)])) std::abort();
    }
    return 0;
}
