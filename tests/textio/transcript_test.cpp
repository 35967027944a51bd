// The records of a run's events: which record each event writes, and when.

#include "textio/transcript.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace tarnvex::textio {
namespace {

struct Records {
    StringWriter console;
    StringWriter result;
    RecordObserver observer{result, &console};
};

TEST(RunRecords, SpectrumReportsAtTheirCadence) {
    const std::vector<float> lambda{0.02f, -1.5f};
    const std::vector<double> sums{1.0, -2.0};
    const struct {
        std::int64_t nstep;
        bool console;
    } cases[] = {{25, false}, {50, true}, {75, false}, {100, true}};
    for (const auto& c : cases) {
        Records r;
        r.observer.report({1, c.nstep, 2, 2, false, lambda, sums});
        EXPECT_EQ(!r.console.text().empty(), c.console) << c.nstep;
        EXPECT_FALSE(r.result.text().empty()) << c.nstep;
    }
    // The first item is nstep * evolv.
    Records r;
    r.observer.report({1, 50, 2, 2, false, lambda, sums});
    EXPECT_EQ(r.console.text(), "  100  2    0.02   -1.50\r\n");
    EXPECT_EQ(r.result.text(), "    100      2      0.02     -1.50\r\n");
}

TEST(RunRecords, EventsAndTheirTexts) {
    const struct {
        const char* name;
        void (*event)(RecordObserver&);
        const char* console;
    } cases[] = {
        {"loop start", [](RecordObserver& o) { o.loop_started(10); }, " \r\n"},
        {"progress",
         [](RecordObserver& o) {
             o.search_accepted({1, 1, 99, 3, 40});
         },
         " ( 3) 40,\r\n"},
        {"no progress record from 100 counted steps on",
         [](RecordObserver& o) {
             o.search_accepted({1, 1, 100, 3, 40});
         },
         ""},
        {"given up", [](RecordObserver& o) { o.step_given_up(1, 1); }, "  - ,\r\n"},
        {"singular covariance",
         [](RecordObserver& o) {
             o.singular({1, 1, 2, Singular::Covariance});
         },
         " mtrinv: matrix singular\r\n"},
        {"singular column",
         [](RecordObserver& o) {
             o.singular({1, 1, 2, Singular::OrthonormalColumn});
         },
         " householder: matrix singular\r\n"},
        {"singular factor",
         [](RecordObserver& o) {
             o.singular({1, 1, 2, Singular::OrthonormalFactor});
         },
         " mtrinv: matrix singular\r\n householder: mtrinv: matrix singular\r\n"},
        {"warm-up end", [](RecordObserver& o) { o.warmup_ended(5); }, " evolv=           5\r\n"},
        {"tmax reached", [](RecordObserver& o) { o.finished(100, 100); }, ""},
        {"shortfall", [](RecordObserver& o) { o.finished(7, 100); },
         " jmax=         100  zu gross\r\n nur           7  pts. genuegen den bedingungen\r\n"},
    };
    for (const auto& c : cases) {
        Records r;
        c.event(r.observer);
        EXPECT_EQ(r.console.text(), c.console) << c.name;
        EXPECT_EQ(r.result.text(), "") << c.name;
    }
}

TEST(RunRecords, ResultHeaderShowsTheValuesInForce) {
    Parameters p;
    p.ncube = 30;
    p.dims.from = 2;
    p.dims.to = 2;
    p.dt = 0.01f;
    Derived d;
    d.npts = 3000;
    d.tmax = 2975;  // to the end of the data: the iteration budget
    EXPECT_EQ(result_file_header("henon.dat", "a-name-longer-than-twenty", p, d),
              "henon.dat           a-name-longer-than-t\r\n"
              "        3000          30        2975           1           2           2\r\n"
              "           2  1.0000000E-02           1  0.0000000E+00   2.000000    \r\n");
}

}  // namespace
}  // namespace tarnvex::textio
