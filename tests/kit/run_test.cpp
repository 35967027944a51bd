// run, sweep and suggest: scripted runs of the real program, their summaries and the
// delay suggestion.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "kit/commands.hpp"
#include "kit/json.hpp"
#include "kit/options.hpp"
#include "kit/session.hpp"
#include "support/kit_util.hpp"
#include "support/run_util.hpp"
#include "support/series_util.hpp"

namespace tarnvex::kit {
namespace {

using testing::TempDir;

using Call = testing::KitCall;

Call kit(const std::vector<std::string>& args) {
    return testing::call_kit(args);
}

std::string example(const std::string& name) {
    std::ifstream in(std::string(TARNVEX_EXAMPLES_DIR) + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(KitRun, ReproducesTheProgramRunByHand) {
    TempDir by_hand, scripted;
    by_hand.write("henon.dat", example("henon.dat"));
    scripted.write("henon.dat", example("henon.dat"));
    const auto typed =
        testing::run_in(by_hand, "henon.dat\nr.out\n3000 25 300 1 2 3\n1\n1\n2\n1.5\n");
    ASSERT_EQ(typed.status, 0);
    const Call c = kit({"run", scripted.file("henon.dat"), "-o", scripted.file("r.out"), "--npts",
                        "3000", "--ncube", "25", "--tmax", "300", "--dims", "2:3", "--evolv", "2",
                        "--radius-pct", "1.5", "--keep-transcript", scripted.file("t.txt")});
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(scripted.read("r.out"), by_hand.read("r.out"));
    EXPECT_EQ(scripted.read("t.txt"), typed.out);
    EXPECT_NE(c.out.find("counted steps: 300 (tmax reached)"), std::string::npos) << c.out;
    EXPECT_NE(c.out.find("dimension 3 at 600 samples:"), std::string::npos) << c.out;
}

TEST(KitRun, FreshResultNamesAndRefusals) {
    TempDir dir;
    dir.write("h.dat", example("henon.dat"));
    const Call first = kit({"run", dir.file("h.dat"), "--tmax", "30"});
    ASSERT_EQ(first.status, 0) << first.err;
    const Call second = kit({"run", dir.file("h.dat"), "--tmax", "30"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_TRUE(dir.exists("h.1.out"));
    EXPECT_TRUE(dir.exists("h.2.out"));

    const struct {
        std::vector<std::string> args;
        const char* message;
    } refusals[] = {
        {{"run", dir.file("none.dat")}, "no series file"},
        {{"run", dir.file("h.dat"), "--ncube", "300"},
         "--ncube must be a whole number from 1 to 200"},
        {{"run", dir.file("h.dat"), "--dims", "4:2"}, "FROM <= TO"},
        {{"run", dir.file("h.dat"), "--dt", "0"}, "--dt must be positive"},
        {{"run", dir.file("h.dat"), "-o", dir.file("h.1.out")}, "is never overwritten"},
        {{"run", dir.file("h.dat"), "--evolv", "x"}, "--evolv must be a whole number"},
        {{"sweep", dir.file("h.dat"), "--ncube", "20,abc"}, "--ncube must be a whole number"},
        {{"suggest", dir.file("none.dat")}, "no series file"},
    };
    for (const auto& r : refusals) {
        const Call c = kit(r.args);
        EXPECT_NE(c.status, 0) << r.message;
        EXPECT_NE(c.err.find(r.message), std::string::npos) << c.err;
    }
    // A run the program refuses passes its status and message on.
    const Call refused = kit({"run", dir.file("h.dat"), "--start", "2999"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("start point outside the embedded series"), std::string::npos)
        << refused.err;
}

// The summary's counts come from the run itself; the transcript the program would have
// written shows the same numbers of singular matrices, limit records and counted steps.
TEST(KitRun, SummaryAgreesWithTheTranscript) {
    TempDir dir;
    dir.write("d.dat", testing::doubling_blocks());
    const Call c =
        kit({"run", dir.file("d.dat"), "--ncube", "20", "--tmax", "100", "--dims", "1:2", "--start",
             "101", "--radius-pct", "0.08", "--keep-transcript", dir.file("t.txt")});
    ASSERT_EQ(c.status, 0) << c.err;
    const std::string t = dir.read("t.txt");
    const int covariance = testing::count_of(t, " mtrinv: matrix singular\r\n") -
                           testing::count_of(t, " householder: mtrinv: matrix singular\r\n");
    const int orthonormal = testing::count_of(t, " householder:");
    EXPECT_GT(covariance, 100);
    EXPECT_NE(c.out.find("singular matrices: " + std::to_string(covariance) + " covariance, " +
                         std::to_string(orthonormal) + " orthonormalisation\n"),
              std::string::npos)
        << c.out;
    EXPECT_NE(c.out.find("steps given up: " + std::to_string(testing::count_of(t, "  - ,\r\n"))),
              std::string::npos)
        << c.out;
    EXPECT_NE(c.out.find("counted steps: 100 (tmax reached)"), std::string::npos) << c.out;
    // Without tmax the run goes to the end of the data; the header shows the budget.
    const Call to_end = kit({"run", dir.file("d.dat"), "--ncube", "20", "--dims", "1:2", "--start",
                             "101", "--radius-pct", "0.08", "-o", dir.file("e.out")});
    ASSERT_EQ(to_end.status, 0) << to_end.err;
    EXPECT_NE(to_end.out.find("\nran to the end of the data after 108 steps (108 samples)\n"),
              std::string::npos)
        << to_end.out;
    // The kit speaks for itself: the program's closing records stay in its transcript.
    EXPECT_EQ(to_end.out.find("zu gross"), std::string::npos);
    EXPECT_EQ(to_end.out.find("genuegen"), std::string::npos);
    const std::string header = dir.read("e.out");
    EXPECT_EQ(header.substr(42, 36), "         400          20         375");
}

// The figures and the verdict of a run, its JSON summary, and the exit statuses: 0 with or
// without warnings, 4 for warnings under --strict, 3 when no step was counted (and no
// result file left behind).
TEST(KitRun, VerdictSummaryAndStatuses) {
    TempDir dir;
    dir.write("h.dat", example("henon.dat"));
    const Call quiet = kit({"run", dir.file("h.dat"), "--dims", "2:2", "--strict"});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_NE(quiet.out.find("  dimension 2: 0.60 -2.25\n    lambda1 0.60 +- 0.0"),
              std::string::npos)
        << quiet.out;
    // One dimension: no warnings, but the dimension and the surrogates were not checked, and
    // --strict fails on warnings only.
    EXPECT_NE(quiet.out.find("sum -1.65, Kaplan-Yorke dimension 1.27\nverdict: no warnings\n"
                             "not checked: dimension-drift (one dimension: "),
              std::string::npos)
        << quiet.out;
    EXPECT_NE(quiet.out.find("; surrogates (no surrogate test: "), std::string::npos) << quiet.out;

    std::string noise;
    for (const float v : testing::ar1(3000, 0.9, 1000.0))
        noise += std::to_string(static_cast<long>(v)) + "\n";
    dir.write("n.dat", noise);
    const std::vector<std::string> args{"run", dir.file("n.dat"), "--dims", "2:5"};
    const Call warned = kit(args);
    EXPECT_EQ(warned.status, 0) << warned.err;
    EXPECT_NE(warned.out.find("verdict: 4 warnings\n  positive-sum: "), std::string::npos)
        << warned.out;
    for (const char* code : {"dimension-drift", "radius-dependence", "time-symmetric"})
        EXPECT_NE(warned.out.find(std::string("\n  ") + code + ": "), std::string::npos) << code;
    EXPECT_NE(warned.out.find("time reversal, dimension 5: inconclusive (the reversed spectrum "
                              "copies the forward one"),
              std::string::npos)
        << warned.out;
    std::vector<std::string> strict = args;
    strict.insert(strict.end(), {"--strict", "--json", "-"});
    const Call json = kit(strict);
    EXPECT_EQ(json.status, 4);
    const Json j = parse_json(json.out);  // standard output holds the summary alone
    EXPECT_EQ(j["warnings"].array.size(), 4u);
    EXPECT_EQ(j["warnings"].array[0]["code"].string, "positive-sum");
    EXPECT_EQ(j["warnings"].array[1]["code"].string, "dimension-drift");
    // Every check with its state; the ones not made listed by code.
    EXPECT_EQ(j["checks"].array.size(), 12u);
    EXPECT_EQ(j["checks"].array[8]["code"].string, "radius-dependence");
    EXPECT_EQ(j["checks"].array[8]["state"].string, "warned");
    ASSERT_EQ(j["not_checked"].array.size(), 2u);
    EXPECT_EQ(j["not_checked"].array[0].string, "spurious-largest");
    EXPECT_EQ(j["not_checked"].array[1].string, "surrogates");
    EXPECT_FALSE(j["dimensions"].array[0]["lambda1_radius_error"].is_null());
    // --quick: one estimate, the probes' checks not made, and --strict still fails only on
    // the warnings left.
    std::vector<std::string> quick = strict;
    quick.push_back("--quick");
    const Json q = parse_json(kit(quick).out);
    EXPECT_EQ(q["warnings"].array.size(), 2u);
    EXPECT_EQ(q["not_checked"].array.size(), 4u);
    EXPECT_TRUE(q["dimensions"].array[0]["lambda1_radius_error"].is_null());
    // Format 2 names the dimensions and the start as the options do; format 1's names stay
    // beside them for one release.
    EXPECT_EQ(j["format_version"].number, 2.0);
    ASSERT_EQ(j["parameters"]["dims"].array.size(), 2u);
    EXPECT_EQ(j["parameters"]["dims"].array[0].number, 2.0);
    EXPECT_EQ(j["parameters"]["dims"].array[1].number, 5.0);
    EXPECT_EQ(j["parameters"]["start"].number, 1.0);
    EXPECT_EQ(j["parameters"]["mto"].number, 5.0);
    EXPECT_EQ(j["parameters"]["istart"].number, 1.0);
    EXPECT_TRUE(j["parameters"]["to_the_end"].boolean);
    EXPECT_EQ(j["dimensions"].array.size(), 4u);
    EXPECT_EQ(j["run"]["counted_steps"].number, 2950.0);
    // A file is written once only.
    EXPECT_EQ(kit({"run", dir.file("n.dat"), "--json", dir.file("s.json")}).status, 0);
    EXPECT_EQ(parse_json(dir.read("s.json"))["series"]["samples_used"].number, 3000.0);
    EXPECT_EQ(kit({"run", dir.file("n.dat"), "--json", dir.file("s.json")}).status, 2);

    // 50 samples: the warm-up takes every iteration, and its steps are not counted.
    dir.write("short.dat", testing::henon_series(50));
    const Call none = kit({"run", dir.file("short.dat"), "--dims", "2:2", "-o", dir.file("s.out")});
    EXPECT_EQ(none.status, 3);
    EXPECT_NE(none.err.find("no step was counted"), std::string::npos) << none.err;
    EXPECT_NE(none.err.find("too short for the warm-up"), std::string::npos) << none.err;
    EXPECT_FALSE(dir.exists("s.out"));
}

// --strict fails on a single warning as on several: 400 Henon samples in one dimension
// warn of the short series and of nothing else.
TEST(KitRun, StrictFailsOnASingleWarning) {
    TempDir dir;
    const std::string henon = example("henon.dat");
    std::size_t cut = 0;
    for (int line = 0; line < 400; ++line)
        cut = henon.find('\n', cut) + 1;
    dir.write("h400.dat", henon.substr(0, cut));
    const std::vector<std::string> args{
        "run", dir.file("h400.dat"), "--dims", "2:2", "--quick", "--json", "-"};
    const Call lenient = kit(args);
    EXPECT_EQ(lenient.status, 0) << lenient.err;
    std::vector<std::string> strict = args;
    strict.push_back("--strict");
    const Call c = kit(strict);
    EXPECT_EQ(c.status, 4) << c.err;
    const Json j = parse_json(c.out);
    ASSERT_EQ(j["warnings"].array.size(), 1u);
    EXPECT_EQ(j["warnings"].array[0]["code"].string, "short");
}

// The surrogate test and the time-reversal test from the command line.
TEST(KitSignificance, SurrogatesAndTheReversedRun) {
    TempDir dir;
    dir.write("h.dat", example("henon.dat"));
    const Call one = kit({"surrogates", dir.file("h.dat"), "--dims", "2:2", "--count", "5"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.out.find("lambda1 against 5 surrogates (seed 1), bits per unit time:\n"
                           "  dimension 2: data 0.60; surrogates min "),
              std::string::npos)
        << one.out;
    EXPECT_NE(one.out.find("    0 surrogates below the data, 5 above, 0 tied or without a step; "
                           "two-sided p = 0.333\n"),
              std::string::npos)
        << one.out;
    EXPECT_NE(one.out.find("verdict: too few surrogates to reject"), std::string::npos);
    const Call two =
        kit({"surrogates", dir.file("h.dat"), "--dims", "2:2", "--count", "5", "-j", "2"});
    EXPECT_EQ(two.out, one.out);
    const Call other =
        kit({"surrogates", dir.file("h.dat"), "--dims", "2:2", "--count", "5", "--seed", "2"});
    EXPECT_NE(other.out, one.out);
    dir.write("short.dat", testing::henon_series(40));
    const Call short_series = kit({"surrogates", dir.file("short.dat"), "--dims", "2:2"});
    EXPECT_EQ(short_series.status, 3);
    EXPECT_NE(short_series.err.find("too short for a surrogate test"), std::string::npos)
        << short_series.err;

    const Call reversed = kit({"run", dir.file("h.dat"), "--dims", "3:3", "--reverse-check",
                               "--json", dir.file("s.json")});
    ASSERT_EQ(reversed.status, 0) << reversed.err;
    EXPECT_NE(reversed.out.find("time reversal, dimension 3: "), std::string::npos) << reversed.out;
    const Json j = parse_json(dir.read("s.json"))["reverse_check"];
    EXPECT_EQ(j["marks"].array.size(), 3u);
    EXPECT_EQ(j["forward"].array.size(), 3u);
    EXPECT_EQ(j["reversed"].array.size(), 3u);
    EXPECT_EQ(j["dimension"].number, 3.0);
}

// Input and results read as they were meant: refusals with hints, --free-format, the values
// read and used, one integer, a stopped run's file, a summary of another run, and a
// dimension suggestion that a run would not call short.
TEST(KitRun, ReadAsMeant) {
    TempDir dir;
    const std::string henon = example("henon.dat");
    dir.write("h.dat", henon);
    const Call plain = kit({"run", dir.file("h.dat"), "--dims", "2:2", "--quick"});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_NE(plain.out.find("\nseries: 3000 values, all used\n"), std::string::npos) << plain.out;
    const Call fewer =
        kit({"run", dir.file("h.dat"), "--dims", "2:2", "--quick", "--npts", "2000"});
    EXPECT_NE(fewer.out.find("\nseries: 3000 values; used the first 2000 (--npts)\n"),
              std::string::npos)
        << fewer.out;

    // The same numbers two to a line: a table, unless read as the program reads it.
    std::istringstream lines(henon);
    std::string a, b, table;
    while (std::getline(lines, a) && std::getline(lines, b))
        table += a + "," + b + "\n";
    dir.write("t.csv", table);
    const Call refused = kit({"run", dir.file("t.csv"), "--dims", "2:2", "--quick"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("looks like a table: every line holds 2 numbers"), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.err.find("--column N"), std::string::npos) << refused.err;
    const Call free = kit({"run", dir.file("t.csv"), "--dims", "2:2", "--quick", "--free-format"});
    EXPECT_EQ(free.status, 0) << free.err;
    EXPECT_NE(free.out.find("series: 3000 values, all used"), std::string::npos) << free.out;
    dir.write("c.dat", "12,5\n13,25\n11,75\n");
    EXPECT_NE(kit({"run", dir.file("c.dat")}).err.find("--decimal-comma"), std::string::npos);

    // Every sample truncates to 0: a plain error pointing to prep, not radius advice.
    std::string small;
    for (int i = 0; i < 600; ++i)
        small += "0." + std::to_string(1 + (i * 7) % 9) + "\n";
    dir.write("s.dat", small);
    const Call one = kit({"run", dir.file("s.dat"), "-o", dir.file("s.out")});
    EXPECT_EQ(one.status, 1);
    EXPECT_NE(one.err.find("every sample truncates to the same integer, 0"), std::string::npos)
        << one.err;
    EXPECT_NE(one.err.find("tarnvex-kit prep"), std::string::npos) << one.err;
    EXPECT_FALSE(dir.exists("s.out"));

    // A stopped run's file says so in table and plot; a result file is never left under its
    // name by a failed run.
    const Call done = kit({"run", dir.file("h.dat"), "--dims", "2:3", "-o", dir.file("r.out"),
                           "--json", dir.file("r.json")});
    ASSERT_EQ(done.status, 0) << done.err;
    EXPECT_FALSE(dir.exists("r.out.partial"));
    dir.write("r.out.partial", dir.read("r.out"));
    const Call table_partial = kit({"table", dir.file("r.out.partial"), "--last"});
    EXPECT_EQ(table_partial.status, 0);
    EXPECT_EQ(table_partial.err, "stopped after 2950 steps: running estimates, not final ones\n");
    EXPECT_EQ(kit({"table", dir.file("r.out"), "--last"}).err, "");
    // The summary of another run is refused; the run's own is taken, for its stopped file too.
    const Call other = kit({"run", dir.file("h.dat"), "--dims", "2:2", "--quick", "-o",
                            dir.file("o.out"), "--json", dir.file("o.json")});
    ASSERT_EQ(other.status, 0) << other.err;
    const Call mixed =
        kit({"plot", dir.file("r.out"), "--summary", dir.file("o.json"), "-o", dir.file("m.svg")});
    EXPECT_EQ(mixed.status, 2);
    EXPECT_NE(mixed.err.find("is the summary of another run (it differs in dims"),
              std::string::npos)
        << mixed.err;
    // The same answers on another series: its name and the estimates tell them apart.
    std::string other_series;
    for (const float v : testing::ar1(3000, 0.9, 1000.0))
        other_series += std::to_string(static_cast<long>(v)) + "\n";
    dir.write("ar.dat", other_series);
    ASSERT_EQ(kit({"run", dir.file("ar.dat"), "--dims", "2:3", "--quick", "-o", dir.file("ar.out"),
                   "--json", dir.file("ar.json")})
                  .status,
              0);
    EXPECT_NE(
        kit({"plot", dir.file("r.out"), "--summary", dir.file("ar.json"), "-o", dir.file("n.svg")})
            .err.find("it differs in series, estimates"),
        std::string::npos);
    EXPECT_EQ(
        kit({"plot", dir.file("r.out"), "--summary", dir.file("r.json"), "-o", dir.file("own.svg")})
            .status,
        0);
    dir.write("copy.out", dir.read("r.out"));
    EXPECT_NE(kit({"plot", dir.file("copy.out"), "--summary", dir.file("r.json"), "-o",
                   dir.file("c.svg")})
                  .err.find("its result file is r.out"),
              std::string::npos);

    // suggest: Cao's dimension for 30 samples of the Henon map is 5, beyond 2 log10 30.
    dir.write("h30.dat", henon.substr(0, [&] {
        std::size_t pos = 0;
        for (int i = 0; i < 30; ++i)
            pos = henon.find('\n', pos) + 1;
        return pos;
    }()));
    const Call suggest = kit({"suggest", dir.file("h30.dat"), "--max-dim", "6"});
    EXPECT_NE(suggest.out.find("suggested dimension: none (E1 saturates from dimension 5, but 30 "
                               "samples resolve dimensions up to 2: dimension 5 needs at least "
                               "317 samples)"),
              std::string::npos)
        << suggest.out;
}

TEST(KitSweep, OneRowPerCombination) {
    TempDir dir;
    dir.write("h.dat", example("henon.dat"));
    const Call c =
        kit({"sweep", dir.file("h.dat"), "--ncube", "20,30", "--evolv", "1,2", "--radius-pct",
             "1,2,4", "--tmax", "100", "--dims", "2:3", "-j", "2", "--csv", dir.file("grid.csv")});
    ASSERT_EQ(c.status, 0) << c.err;
    const std::string csv = dir.read("grid.csv");
    EXPECT_EQ(testing::count_of(csv, "\n"), 1 + 12);
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "ncube,evolv,delay,radius_pct,status,counted,given_up,singular_covariance,"
              "singular_orthonormalisation,mean_enlargements,max_enlargements,mean_neighbours,d2_"
              "lambda1,d2_lambda2,"
              "d3_lambda1,d3_lambda2,d3_lambda3,d2_lambda1_se,d3_lambda1_se,warnings,not_checked");
    EXPECT_NE(csv.find("\n30,2,1,4,0,100,"), std::string::npos) << csv;
    // 100 counted steps are too few: every row has the warning, no standard error, and so
    // unconverged not checked; a sweep is quick, so the probes' checks and the surrogates
    // are not checked either.
    EXPECT_EQ(testing::count_of(csv, ",,,short"), 12) << csv;
    EXPECT_EQ(testing::count_of(csv,
                                ",unconverged;radius-dependence;time-symmetric;"
                                "spurious-largest;surrogates\n"),
              12)
        << csv;
    EXPECT_EQ(testing::count_of(c.out, "\n"), 1 + 12 + 1);
    // An existing CSV is not overwritten.
    EXPECT_EQ(kit({"sweep", dir.file("h.dat"), "--csv", dir.file("grid.csv")}).status, 2);
}

TEST(KitSuggest, WarnsWhenTheSeriesCollapsesToFewIntegers) {
    TempDir dir;
    std::string volts;
    for (int i = 0; i < 2000; ++i)
        volts += std::to_string(0.9 * std::sin(i * 0.3)) + "\n";
    dir.write("v.dat", volts);
    const Call c = kit({"suggest", dir.file("v.dat")});
    ASSERT_EQ(c.status, 0) << c.err;
    EXPECT_NE(c.out.find("integer resolution: 1 distinct values over an extent of 0"),
              std::string::npos)
        << c.out;
    EXPECT_NE(c.out.find("warning (coarse): the samples truncate to 1 distinct integers over a "
                         "span of 0"),
              std::string::npos)
        << c.out;
    EXPECT_EQ(testing::count_of(c.out, "warning"), 1) << c.out;
    // The embedding dimension: Cao's table for the delay, and no dimension for a sine
    // sampled this coarsely into one integer.
    EXPECT_NE(c.out.find("embedding dimension (Cao's E1 and E2, maximum norm, delay "),
              std::string::npos)
        << c.out;
    // A prepared series of 114 values is short, not coarse.
    std::string prepared;
    for (int i = 0; i < 114; ++i)
        prepared += std::to_string((i * 7919) % 100001) + "\n";
    dir.write("p.dat", prepared);
    const Call p = kit({"suggest", dir.file("p.dat")});
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_NE(p.out.find("warning (short): only 64 counted steps"), std::string::npos) << p.out;
    EXPECT_EQ(p.out.find("coarse"), std::string::npos) << p.out;
}

}  // namespace
}  // namespace tarnvex::kit
