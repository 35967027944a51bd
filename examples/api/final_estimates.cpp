// The final estimates of every dimension of a run on a series file, through the engine's
// API: final_estimates SERIES [FROM TO].

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <tarnvex/series.hpp>
#include <tarnvex/tarnvex.hpp>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: final_estimates SERIES [FROM TO]\n");
        return 2;
    }
    try {
        const std::vector<float> x = tarnvex::read_series(argv[1]);
        tarnvex::Parameters p;  // ncube 30, delay 1, dt 1, evolv 1, radius 2 %
        if (argc == 4) {
            p.dims.from = std::atoi(argv[2]);
            p.dims.to = std::atoi(argv[3]);
        }
        const tarnvex::Result r = tarnvex::run(x, p);
        std::printf("%d samples, %lld counted steps\n", r.series.samples_used,
                    static_cast<long long>(r.counted_steps));
        for (const tarnvex::DimensionEstimates& d : r.dimensions) {
            std::printf("dimension %d:", d.dimension);
            for (const float v : d.final_exponents)
                std::printf(" %.2f", static_cast<double>(v));
            std::printf("\n");
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "final_estimates: %s\n", e.what());
        return 1;
    }
    return 0;
}
