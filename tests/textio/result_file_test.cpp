// The result file read back: files the program wrote for generated runs give, record by
// record, the dimension, the counted samples, the warm-up flag and the estimates of the
// run's report points; texts that are not result files are refused.

#include "tarnvex/result_file.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/generated_runs.hpp"
#include "support/run_util.hpp"
#include "textio/fields.hpp"

namespace tarnvex {
namespace {

// Every report point of a run, as the engine gives it.
struct ReportPoints : Observer {
    struct Point {
        int dimension;
        std::int64_t samples;
        bool warmup;
        std::vector<float> exponents;
    };
    std::vector<Point> points;
    void report(const ReportEvent& e) override {
        points.push_back({e.dimension, e.nstep * e.evolv, e.warmup,
                          std::vector<float>(e.exponents.begin(), e.exponents.end())});
    }
};

std::string series_text(const std::vector<float>& x) {
    std::string s;
    for (const float v : x)
        s += std::to_string(static_cast<long>(v)) + "\n";
    return s;
}

// The value a field of F10.2 shows, read back.
double as_the_file_shows(float v) {
    std::string f;
    textio::append_fixed_field(f, v, 10, 2);
    return f.find('*') != std::string::npos ? std::nan("") : std::strtod(f.c_str(), nullptr);
}

TEST(ResultFileRoundTrip, TheProgramsFilesGiveTheRunsReportPoints) {
    int with_records = 0, with_warmup = 0, evolv_above_one = 0;
    for (std::uint64_t seed = 1; seed <= 40; ++seed) {
        const testing::GeneratedRun g = testing::generated_run(seed);
        const Derived d = derive(g.x, g.p);
        ReportPoints want;
        (void)run(g.x, g.p, &want);

        testing::TempDir dir;
        dir.write("s.dat", series_text(g.x));
        const Parameters& p = g.p;
        const std::string answers =
            "s.dat\nr.out\n" + std::to_string(p.npts) + " " + std::to_string(p.ncube) + " " +
            std::to_string(d.tmax) + " " + std::to_string(p.delay) + " " +
            std::to_string(p.dims.from) + " " + std::to_string(p.dims.to) + "\n" +
            std::to_string(p.start) + "\n" + std::to_string(p.dt) + "\n" + std::to_string(p.evolv) +
            "\n" + std::to_string(p.radius_pct) + "\n";
        ASSERT_EQ(testing::run_in(dir, answers).status, 0) << g.describe();
        const ResultFileContents r = read_result_file(dir.file("r.out"));

        EXPECT_EQ(r.series_name, "s.dat" + std::string(15, ' ')) << g.describe();
        EXPECT_EQ(r.npts, d.npts) << g.describe();
        EXPECT_EQ(r.ncube, p.ncube) << g.describe();
        EXPECT_EQ(r.tmax, d.tmax) << g.describe();
        EXPECT_EQ(r.dims, p.dims) << g.describe();
        EXPECT_EQ(r.evolv, p.evolv) << g.describe();
        EXPECT_FLOAT_EQ(static_cast<float>(r.dt), p.dt) << g.describe();
        ASSERT_EQ(r.records.size(), want.points.size()) << g.describe();
        for (std::size_t i = 0; i < r.records.size(); ++i) {
            const ResultFileRecord& got = r.records[i];
            const ReportPoints::Point& w = want.points[i];
            const std::string where = g.describe() + ", record " + std::to_string(i + 1);
            EXPECT_EQ(got.dimension, w.dimension) << where;
            EXPECT_EQ(got.samples, w.samples) << where;
            EXPECT_EQ(got.warmup, w.warmup) << where;
            ASSERT_EQ(got.estimates.size(), w.exponents.size()) << where;
            for (std::size_t k = 0; k < w.exponents.size(); ++k) {
                const double shown = as_the_file_shows(w.exponents[k]);
                if (std::isnan(shown)) {
                    EXPECT_TRUE(std::isnan(got.estimates[k])) << where;
                } else {
                    EXPECT_EQ(got.estimates[k], shown) << where << ", exponent " << k + 1;
                }
            }
        }
        with_records += !r.records.empty();
        for (const auto& rec : r.records)
            with_warmup += rec.warmup;
        evolv_above_one += p.evolv > 1 && !r.records.empty();
        if (::testing::Test::HasFailure()) return;
    }
    // The runs reach what the reader must tell apart.
    EXPECT_GE(with_records, 10);
    EXPECT_GE(with_warmup, 5);
    EXPECT_GE(evolv_above_one, 3);
}

// At an evolution time above one, a warm-up record is known by its count alone, even as the
// file's last record; at one, by a later record of the same dimension at the same count. A
// count reached again later (after a given-up step) is not the warm-up's.
TEST(ResultFileRoundTrip, WarmupRecordsByTheirCount) {
    const auto file = [](int evolv, const std::vector<std::pair<int, int>>& records) {
        Parameters p;
        p.dims = {2, 3};
        p.evolv = evolv;
        Derived d;
        d.npts = 1000;
        d.tmax = 100;
        std::string text = result_file_header("a", "b", p, d);
        for (const auto& [samples, m] : records) {
            char head[16];
            std::snprintf(head, sizeof head, "%7d%7d", samples, m);
            text += head;
            for (int k = 0; k < m; ++k)
                text += "      0.50";
            text += "\r\n";
        }
        std::vector<bool> flags;
        for (const auto& rec : parse_result_file(text).records)
            flags.push_back(rec.warmup);
        return flags;
    };
    using V = std::vector<bool>;
    EXPECT_EQ(file(1, {{25, 2}, {25, 3}, {25, 2}, {25, 3}, {50, 2}}), V({1, 1, 0, 0, 0}));
    EXPECT_EQ(file(1, {{25, 2}, {25, 2}, {50, 2}, {50, 2}, {75, 2}}), V({1, 0, 0, 0, 0}));
    EXPECT_EQ(file(1, {{25, 2}}), V({0}));  // nothing tells: taken as counted
    EXPECT_EQ(file(4, {{25, 2}, {25, 3}}), V({1, 1}));
    EXPECT_EQ(file(4, {{25, 2}, {100, 2}, {200, 2}, {200, 2}}), V({1, 0, 0, 0}));
}

TEST(ResultFileRoundTrip, WhatIsNotAResultFile) {
    Parameters p;
    Derived d;
    const std::string header = result_file_header("a", "b", p, d);
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "fewer than three lines"},
        {header.substr(0, header.size() - 1), "no line end"},
        {header + "     25      2      0.50\r\n", "not a spectrum record"},
        {header + "     25     21" + std::string(210, ' ') + "\r\n", "not a spectrum record"},
        {header + "     25      1      x.50\r\n", "no number"},
        {header + "     2x      1      0.50\r\n", "no integer"},
        {"a\r\nb\r\nc\r\n", "two names of 20 characters"},
    };
    for (const auto& c : cases) {
        try {
            (void)parse_result_file(c.text);
            ADD_FAILURE() << c.why << ": accepted";
        } catch (const ResultFileError& e) {
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW((void)read_result_file("/nonexistent/r.out"), ResultFileError);
}

}  // namespace
}  // namespace tarnvex

namespace tarnvex {
namespace {

// The records of a run of more samples than the program takes: the program's fields where
// the value fits, a field as wide as its value where it does not, never asterisks; the
// reader takes both. Expected records written out by hand from the field widths (7, 7, 10
// with two decimals).
TEST(ResultFileRoundTrip, WidenedFieldsHoldWhatTheProgramsFieldsCannot) {
    const float nan = std::nanf("");
    const struct {
        const char* what;
        std::int64_t samples;
        std::vector<float> estimates;
        const char* program;
        const char* widened;
    } cases[] = {
        {"fits",
         25,
         {0.6f, -2.27f},
         "     25      2      0.60     -2.27",
         "     25      2      0.60     -2.27"},
        {"fills its field",
         50,
         {1234567.5f, 3.0f},
         "     50      21234567.50      3.00",
         "     50      21234567.50      3.00"},
        {"estimate too wide",
         100,
         {12345678.0f},
         "    100      1**********",
         "    100      112345678.00"},
        {"negative too wide",
         50,
         {-1234567.5f, 3.0f},
         "     50      2**********      3.00",
         "     50      2-1234567.50      3.00"},
        {"count too wide",
         12345678,
         {1.5f, -0.25f},
         "*******      2      1.50     -0.25",
         "12345678      2      1.50     -0.25"},
        {"both",
         99999999,
         {0.5f, -98765432.0f},
         "*******      2      0.50**********",
         "99999999      2      0.50-98765432.00"},
        {"not a number",
         75,
         {nan, 1.0f},
         "     75      2       NaN      1.00",
         "     75      2       NaN      1.00"},
    };
    const std::string header = result_file_header("s.dat", "r.out", Parameters{}, Derived{});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int m = static_cast<int>(c.estimates.size());
        EXPECT_EQ(file_spectrum_record(c.samples, m, c.estimates, RecordLayout::Program),
                  std::string(c.program) + "\r\n");
        const std::string widened =
            file_spectrum_record(c.samples, m, c.estimates, RecordLayout::Widened);
        ASSERT_EQ(widened, std::string(c.widened) + "\r\n");
        const ResultFileContents back = parse_result_file(header + widened);
        ASSERT_EQ(back.records.size(), 1u);
        EXPECT_EQ(back.records[0].samples, c.samples);
        EXPECT_EQ(back.records[0].dimension, m);
        ASSERT_EQ(back.records[0].estimates.size(), c.estimates.size());
        for (std::size_t i = 0; i < c.estimates.size(); ++i) {
            if (std::isnan(c.estimates[i])) {
                EXPECT_TRUE(std::isnan(back.records[0].estimates[i]));
            } else {
                EXPECT_NEAR(back.records[0].estimates[i], c.estimates[i], 0.005);
            }
        }
    }
    EXPECT_EQ(record_layout(kProgramSamples), RecordLayout::Program);
    EXPECT_EQ(record_layout(kProgramSamples + 1), RecordLayout::Widened);
    // A widened field that runs into the next one's place is no record.
    EXPECT_THROW((void)parse_result_file(header + "     25      2      0.60     -2.271\r\n"),
                 ResultFileError);
    EXPECT_THROW((void)parse_result_file(header + "     25      2 12345.6789     -2.27\r\n"),
                 ResultFileError);
}

}  // namespace
}  // namespace tarnvex
