// prep, table and plot on real files: the bundled examples and result files the program
// wrote, and the refusals.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "kit/commands.hpp"
#include "kit/options.hpp"
#include "kit/result_file.hpp"
#include "support/kit_util.hpp"
#include "support/run_util.hpp"

namespace tarnvex::kit {
namespace {

using testing::TempDir;

using Call = testing::KitCall;
Call kit(const std::vector<std::string>& args) {
    return testing::call_kit(args);
}

// A result file written by the program itself for the Henon example.
std::string henon_result(const TempDir& dir) {
    std::filesystem::copy_file(std::string(TARNVEX_EXAMPLES_DIR) + "/henon.dat",
                               dir.file("henon.dat"));
    const auto r = testing::run_in(dir, "henon.dat\nhenon.out\n3000 30 120 1 2 3\n1\n1\n1\n2\n");
    EXPECT_EQ(r.status, 0) << r.err;
    return dir.file("henon.out");
}

TEST(KitPrep, ScalesAColumnToTheChosenSteps) {
    PrepOptions opt;
    opt.column = 2;
    opt.skip = 1;
    const PreparedSeries p =
        prepare_series("time,volts\n# calibration run\n0,0.5\n1,-0.5\n\n2,0.25\n", opt);
    EXPECT_EQ(p.text, "100000\n0\n75000\n");
    EXPECT_EQ(p.offset, -0.5);
    EXPECT_EQ(p.factor, 100000.0);

    opt = PrepOptions{};
    opt.decimal_comma = true;
    opt.steps = 10;
    const PreparedSeries q = prepare_series("1,5;x\n2,0;y\n1,5;z\n1,51;w\n", opt);
    EXPECT_EQ(q.text, "0\n10\n0\n0\n");
    EXPECT_EQ(q.distinct_before, 3);
    EXPECT_EQ(q.distinct_after, 2);  // 1.5 and 1.51 merge at ten steps

    // Ranges near both ends of the doubles still scale onto the steps.
    opt = PrepOptions{};
    opt.steps = 10;
    EXPECT_EQ(prepare_series("-1e300\n1e300\n0\n", opt).text, "0\n10\n5\n");
    EXPECT_EQ(prepare_series("1e-300\n0\n", opt).text, "10\n0\n");
}

TEST(KitPrep, Refusals) {
    const struct {
        const char* text;
        PrepOptions opt;
        const char* message;
    } cases[] = {
        {"1\n2\nabc\n", {}, "line 3, column 1: 'abc' is not a number"},
        {"1\nnan\n", {}, "'nan' is not a finite number"},
        {"1\n-inf\n", {}, "'-inf' is not a finite number"},
        {"1 2\n3\n", {2, 0, 100000, false, false}, "line 2 has no column 2"},
        {"# only comments\n\n", {}, "no values in column 1"},
        {"4\n4\n4\n", {}, "the column is constant"},
        {"1,,3\n", {2, 0, 100000, false, false}, "'' is not a number"},
        // Ranges that leave a value without an integer: a factor beyond the largest double,
        // and a range that is.
        {"0\n1e-310\n", {}, "range, 0 to 1e-310, is too small to scale to 100000 steps"},
        {"1e308\n-1e308\n", {}, "range, -1e+308 to 1e+308, is too large to scale"},
    };
    for (const auto& c : cases) {
        try {
            prepare_series(c.text, c.opt);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const UsageError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    // More values than the program reads are kept; more than a run takes only with --cut.
    std::string many;
    for (int i = 0; i < 20001; ++i)
        many += std::to_string(i % 97) + "\n";
    EXPECT_EQ(prepare_series(many, {}).count, 20001);
    std::string lines;
    lines.reserve(2 * static_cast<std::size_t>(kMaxSamples) + 4);
    for (int i = 0; i <= kMaxSamples; ++i)
        lines += i % 2 == 0 ? "1\n" : "2\n";
    EXPECT_THROW(prepare_series(lines, {}), UsageError);
    PrepOptions cut;
    cut.cut = true;
    EXPECT_EQ(prepare_series(lines, cut).count, kMaxSamples);
}

TEST(KitPrep, CommandOnFiles) {
    TempDir dir;
    dir.write("m.csv", "t,v\n0,1.5\n1,2.5\n2,2.0\n");
    const Call c =
        kit({"prep", dir.file("m.csv"), "--skip", "1", "--column", "2", "-o", dir.file("m.dat")});
    EXPECT_EQ(c.status, 0) << c.err;
    EXPECT_EQ(dir.read("m.dat"), "0\n100000\n50000\n");
    EXPECT_NE(c.out.find("3 values, integer = round((x - 1.5) * 100000)"), std::string::npos)
        << c.out;
    // A negative offset is added, not subtracted twice.
    dir.write("neg.csv", "-3.1\n-1.1\n");
    const Call neg = kit({"prep", dir.file("neg.csv"), "-o", dir.file("neg.dat")});
    EXPECT_NE(neg.out.find("integer = round((x + 3.1) * 50000)"), std::string::npos) << neg.out;
    // An existing output is not overwritten (status 2); a missing input cannot be read
    // (status 1).
    EXPECT_EQ(
        kit({"prep", dir.file("m.csv"), "--skip", "1", "--column", "2", "-o", dir.file("m.dat")})
            .status,
        2);
    const Call missing = kit({"prep", dir.file("none.csv")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
    EXPECT_EQ(kit({"prep", dir.file("m.csv"), "--steps", "1"}).status, 2);
}

TEST(KitTable, RowsPerValueAndTheLastEstimates) {
    TempDir dir;
    const std::string result = henon_result(dir);
    const Call t = kit({"table", result});
    ASSERT_EQ(t.status, 0) << t.err;
    std::istringstream lines(t.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "samples,dimension,exponent,estimate,warmup");
    // Every row against the result file's own fixed columns: the counted samples (I7), the
    // dimension (I7), then one F10.2 field per exponent, numbered from 1. The records at 25
    // of the warm-up come first, one per dimension.
    std::vector<std::string> want;
    {
        std::istringstream records(dir.read("henon.out"));
        std::string rec;
        for (int skip = 0; skip < 3; ++skip)
            std::getline(records, rec);
        for (int k = 0; std::getline(records, rec); ++k) {
            const int m = std::stoi(rec.substr(7, 7));
            for (int i = 0; i < m; ++i) {
                want.push_back(std::to_string(std::stol(rec.substr(0, 7))) + "," +
                               std::to_string(m) + "," + std::to_string(i + 1) + "," +
                               rec.substr(static_cast<std::size_t>(14 + 10 * i), 10) + "," +
                               (k < 2 ? "1" : "0"));
            }
        }
    }
    // Records at 25 (warm-up) and 25, 50, 75, 100 for dimensions 2 and 3: 5 x (2 + 3).
    ASSERT_EQ(want.size(), 25u);
    std::size_t row = 0;
    for (; std::getline(lines, line); ++row) {
        ASSERT_LT(row, want.size()) << line;
        // The estimate as a number; the other columns as they stand.
        const auto cut = [](const std::string& s) {
            const std::size_t a = s.find(',', s.find(',', s.find(',') + 1) + 1);
            const std::size_t b = s.rfind(',');
            return std::make_pair(s.substr(0, a) + s.substr(b),
                                  std::stod(s.substr(a + 1, b - a - 1)));
        };
        const auto [got_keys, got_value] = cut(line);
        const auto [want_keys, want_value] = cut(want[row]);
        EXPECT_EQ(got_keys, want_keys) << "row " << row + 1;
        EXPECT_EQ(got_value, want_value) << "row " << row + 1 << ": " << line;
    }
    EXPECT_EQ(row, want.size());

    const Call last = kit({"table", result, "--last", "--tsv"});
    ASSERT_EQ(last.status, 0);
    EXPECT_EQ(last.out.substr(0, last.out.find('\n')),
              "dimension\tsamples\tlambda1\tlambda2\tlambda3");
    EXPECT_NE(last.out.find("\n2\t100\t"), std::string::npos);
    EXPECT_NE(last.out.find("\n3\t100\t"), std::string::npos);
}

TEST(KitTable, RefusesWhatIsNotAResultFile) {
    TempDir dir;
    const std::string result = henon_result(dir);
    const std::string good = dir.read("henon.out");
    std::string lf_only = good;
    for (std::size_t p; (p = lf_only.find("\r\n")) != std::string::npos;)
        lf_only.erase(p, 1);
    const struct {
        std::string text;
        const char* why;
    } cases[] = {
        {"", "fewer than three lines"},
        {lf_only, "does not end in CR LF"},
        {"1 2 3\r\n4 5 6\r\n7 8 9\r\n", "two names of 20 characters"},
        {good + "garbage\r\n", "no integer in 'garbage'"},
        {good.substr(0, good.size() - 5) + "\r\n", "is not a spectrum record"},
    };
    for (const auto& c : cases) {
        dir.write("bad.out", c.text);
        const Call t = kit({"table", dir.file("bad.out")});
        EXPECT_EQ(t.status, 2);
        EXPECT_NE(t.err.find("not a tarnvex result file"), std::string::npos) << t.err;
        EXPECT_NE(t.err.find(c.why), std::string::npos) << t.err;
    }
    EXPECT_NE(kit({"table", dir.file("henon.dat")}).err.find("not a tarnvex result file"),
              std::string::npos);
}

// The width and height of a PNG, from its header chunk.
bool png_size(const std::string& bytes, unsigned& w, unsigned& h) {
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0 ||
        bytes.compare(12, 4, "IHDR") != 0) {
        return false;
    }
    auto be32 = [&](std::size_t p) {
        return (static_cast<unsigned>(static_cast<unsigned char>(bytes[p])) << 24) |
               (static_cast<unsigned>(static_cast<unsigned char>(bytes[p + 1])) << 16) |
               (static_cast<unsigned>(static_cast<unsigned char>(bytes[p + 2])) << 8) |
               static_cast<unsigned>(static_cast<unsigned char>(bytes[p + 3]));
    };
    w = be32(16);
    h = be32(20);
    return true;
}

TEST(KitPlot, WritesAPngOfTheExpectedSize) {
    if (find_on_path("gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed";
    TempDir dir;
    const std::string result = henon_result(dir);
    const Call p = kit({"plot", result, "-o", dir.file("h.png"), "--width", "700"});
    ASSERT_EQ(p.status, 0) << p.err;
    unsigned w = 0, h = 0;
    ASSERT_TRUE(png_size(dir.read("h.png"), w, h));
    EXPECT_EQ(w, 700u);
    EXPECT_EQ(h, 2u * 280u + 75u);  // two panels and a title of two lines
    const Call one = kit({"plot", result, "-o", dir.file("d3.svg"), "--dims", "3"});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(dir.read("d3.svg").find("<svg"), std::string::npos);
    // With the summary of the run: one panel more (lambda1 against the dimension) and the
    // verdict under the title.
    // (The summary names the run's result file and parameters, as run --json writes them.)
    const ResultFile header = read_result_file(result);
    char parameters[400];
    std::snprintf(parameters, sizeof parameters,
                  "\"parameters\": {\"npts\": %ld, \"ncube\": %ld, \"tmax\": %ld, \"delay\": "
                  "%ld, \"mfrom\": %ld, \"mto\": %ld, \"evolv\": %ld, \"dt\": %.9g, "
                  "\"radius_pct\": %.9g}",
                  header.npts, header.ncube, header.tmax, header.delay,
                  static_cast<long>(header.dims.from), static_cast<long>(header.dims.to),
                  header.evolv, header.dt, header.radius_pct);
    dir.write("s.json", "{\"result_file\": \"" + std::filesystem::path(result).filename().string() +
                            "\", " + parameters +
                            ", \"dimensions\": [{\"dimension\": 2, \"lambda1\": 0.6, "
                            "\"lambda1_error\": 0.02},"
                            " {\"dimension\": 3, \"lambda1\": 0.9, \"lambda1_error\": null}],"
                            " \"warnings\": [{\"code\": \"dimension-drift\"}], \"not_checked\": "
                            "[\"surrogates\"]}");
    const Call with =
        kit({"plot", result, "-o", dir.file("s.svg"), "--summary", dir.file("s.json")});
    ASSERT_EQ(with.status, 0) << with.err;
    EXPECT_NE(with.out.find("(3 panels,"), std::string::npos) << with.out;
    const std::string svg = dir.read("s.svg");
    EXPECT_NE(svg.find("warnings: dimension-drift; not checked: surrogates"), std::string::npos);
    EXPECT_NE(svg.find("largest exponent against the embedding dimension"), std::string::npos);
    dir.write("bad.json", "{\"dimensions\": [1, 2");
    const Call bad =
        kit({"plot", result, "-o", dir.file("b.svg"), "--summary", dir.file("bad.json")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("not a summary"), std::string::npos) << bad.err;
}

TEST(KitPlot, Refusals) {
    TempDir dir;
    const std::string result = henon_result(dir);
    EXPECT_NE(kit({"plot", result}).err.find("usage"), std::string::npos);
    EXPECT_NE(kit({"plot", result, "-o", dir.file("x.jpg")}).err.find(".png or .svg"),
              std::string::npos);
    EXPECT_NE(
        kit({"plot", result, "-o", dir.file("x.png"), "--dims", "7"}).err.find("no dimension 7"),
        std::string::npos);
    EXPECT_NE(kit({"plot", dir.file("henon.dat"), "-o", dir.file("x.png")})
                  .err.find("not a tarnvex result file"),
              std::string::npos);
}

}  // namespace
}  // namespace tarnvex::kit
