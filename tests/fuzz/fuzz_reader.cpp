// Fuzz target: the free-format reader over an arbitrary record stream into a mix of
// integer and real targets. The first byte chooses the kinds of up to eight targets.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "textio/reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned kinds = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    std::array<std::int32_t, 8> ints{};
    std::array<float, 8> reals{};
    std::array<tarnvex::textio::Target, 8> targets;
    const std::size_t n = 1 + (kinds >> 5);  // 1 to 8 targets
    for (std::size_t i = 0; i < 8; ++i) {
        targets[i] = (kinds >> (i % 5)) & 1u ? tarnvex::textio::Target::of(reals[i])
                                             : tarnvex::textio::Target::of(ints[i]);
    }
    tarnvex::textio::StringSource src(text);
    const auto status = tarnvex::textio::read_free(src, std::span(targets.data(), n));
    // A real target never receives an infinity or a NaN.
    for (float r : reals) {
        if (!std::isfinite(r)) std::abort();
    }
    (void)status;
    return 0;
}
