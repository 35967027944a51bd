#include "driver/step_loop.hpp"

#include <bit>
#include <cmath>

namespace tarnvex::driver {

namespace {
constexpr float kLn2 = 0.6931472f;  // ln 2 in single precision
}

std::int64_t iteration_budget(std::int32_t npts, float evolv0) {
    const double e0 = static_cast<double>(evolv0);
    const double v = static_cast<double>(npts) / e0 - static_cast<double>(25 * 1) / e0;
    return static_cast<std::int64_t>(std::trunc(v));  // |v| <= NMAX: always in range
}

LoopOutcome run_step_loop(const Params& p, RunTables& t, textio::RecordWriter& console,
                          textio::RecordWriter& result) {
    embedding::embed_series(t.series.x, p.npts, p.delay, p.mto, t.vectors);
    spectrum::reset_spectrum(t.spectrum, p.mto);
    console.write_free({});

    LoopOutcome out;
    std::int64_t nstep = 0;
    const float evolv0 = static_cast<float>(p.evolv);
    std::int64_t evolv = 1;  // the warm-up steps one sample at a time
    std::int64_t iref = p.istart;
    const std::int64_t ntrip = iteration_budget(p.npts, evolv0);
    const std::int64_t nvec = t.vectors.nvec;
    // With a lowest dimension of 1, dimension 1 collects its own neighbours.
    const int mlow0 = p.mfrom == 1 ? 1 : 2;
    embedding::Neighbourhoods& nb = t.neighbours;

    for (std::int64_t iter = 1; iter <= ntrip; ++iter) {
        // The reference point and its image must be built vectors.
        if (iref + evolv > nvec) break;
        const float tfac = static_cast<float>(
            static_cast<double>(evolv) * static_cast<double>(kLn2) * static_cast<double>(p.dt));
        embedding::SearchState search{p.scalmx0, 0, mlow0};
        int mfirst = p.mfrom;
        for (int k = 1; k <= p.mto; ++k)
            nb.nn(k) = 0;
        const embedding::SearchParams sp{p.ncube, p.mto, nvec - evolv, p.scalmx0};
        const spectrum::ReportContext ctx_base{0, evolv, tfac};
        bool finished = false;

        // The search and the dimension loop; a singular matrix sends the step back here.
        for (;;) {
            if (embedding::find_neighbourhoods(t.vectors, sp, iref, search, nb, console) ==
                embedding::SearchResult::GivenUp) {
                break;
            }
            if (nstep < 100) embedding::write_progress(console, search.ngrow, nb.nn(p.mto));
            ++nstep;
            spectrum::ReportContext ctx = ctx_base;
            ctx.nstep = nstep;
            int failed = 0;
            for (int m = mfirst; m <= p.mto; ++m) {
                if (spectrum::estimate_local_map(t.vectors, nb, m, iref, evolv, t.scratch,
                                                 console) != 0 ||
                    spectrum::propagate_dimension(t.spectrum, t.scratch.a, m, ctx, console,
                                                  result) != 0) {
                    failed = m;
                    break;
                }
            }
            if (failed == 0) {
                finished = nstep >= p.tmax;
                break;
            }
            // Singular matrix at dimension `failed`: a larger radius, the count taken
            // back, the search and the loop resumed from that dimension.
            const float before = search.scalmx;
            embedding::grow_radius(search);
            --nstep;
            search.mlow = failed;
            mfirst = failed;
            if (std::bit_cast<std::uint32_t>(before) ==
                std::bit_cast<std::uint32_t>(search.scalmx)) {
                // A radius that cannot grow would retry for ever: give the step up.
                search.scalmx = p.scalmx0;
                embedding::write_limit_record(console);
                break;
            }
        }
        out.iterations = iter;
        out.last_iref = iref;
        if (finished) break;

        iref += evolv;
        if (iter == NWARM) {
            evolv = static_cast<std::int64_t>(evolv0);
            spectrum::clear_sums(t.spectrum);
            nstep = 0;
            console.write_free({"evolv=", evolv});
        }
    }

    if (nstep < p.tmax) {
        console.write_free({"jmax=", p.tmax, " zu gross"});
        console.write_free({"nur", nstep, " pts. genuegen den bedingungen"});
    }
    out.nstep = nstep;
    return out;
}

}  // namespace tarnvex::driver
