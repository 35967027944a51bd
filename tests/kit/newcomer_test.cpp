// The kit as a newcomer meets it: the help of every command (and the manual page that must
// agree with it), failures that leave nothing behind, the plot's text and colours, the
// version.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "kit/commands.hpp"
#include "kit/help.hpp"
#include "kit/json.hpp"
#include "kit/result_file.hpp"
#include "support/kit_util.hpp"
#include "support/run_util.hpp"
#include "textio/transcript.hpp"

namespace tarnvex::kit {
namespace {

using testing::TempDir;

TEST(KitHelp, EveryCommandExplainsItself) {
    for (const CommandHelp& c : all_commands()) {
        const auto help = testing::call_kit({"help", c.name});
        ASSERT_EQ(help.status, 0) << c.name;
        EXPECT_EQ(help.out.rfind("usage: tarnvex-kit " + c.name + " " + c.arguments, 0), 0u)
            << help.out;
        for (const OptionHelp& o : c.options) {
            EXPECT_NE(help.out.find("\n  " + o.name + (o.value.empty() ? "" : " " + o.value)),
                      std::string::npos)
                << c.name << " " << o.name;
        }
        EXPECT_NE(help.out.find("\nexample:\n  tarnvex-kit " + c.name + " "), std::string::npos);
        for (const char* flag : {"-h", "--help"}) {
            const auto h = testing::call_kit({c.name, "x", flag});
            EXPECT_EQ(h.status, 0) << c.name << " " << flag;
            EXPECT_EQ(h.out, help.out) << c.name << " " << flag;
        }
        // Without its arguments a command shows its synopsis.
        const auto bare = testing::call_kit({c.name});
        EXPECT_EQ(bare.status, 2) << c.name;
        EXPECT_NE(bare.err.find("usage: tarnvex-kit " + c.name), std::string::npos) << bare.err;
        EXPECT_NE(bare.err.find("tarnvex-kit help " + c.name), std::string::npos) << bare.err;
    }
    const auto list = testing::call_kit({"--help"});
    EXPECT_EQ(list.status, 0);
    for (const CommandHelp& c : all_commands())
        EXPECT_NE(list.out.find("\n  " + c.name + " "), std::string::npos) << c.name;
    const auto unknown = testing::call_kit({"help", "nope"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown command 'nope'"), std::string::npos);
    const auto version = testing::call_kit({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("tarnvex-kit [0-9]+\\.[0-9]+\\.[0-9]+\n")))
        << version.out;
}

// The synopsis of every command in the manual page lists exactly the options of its help.
TEST(KitHelp, TheManualPageAgreesWithTheHelp) {
    std::ifstream in(std::string(TARNVEX_SOURCE_DIR) + "/man/tarnvex-kit.1");
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string man = ss.str();
    const std::string synopsis = man.substr(man.find(".SH SYNOPSIS"),
                                            man.find(".SH DESCRIPTION") - man.find(".SH SYNOPSIS"));
    for (const CommandHelp& c : all_commands()) {
        const std::string head = ".B tarnvex-kit " + c.name + "\n";
        const auto at = synopsis.find(head);
        ASSERT_NE(at, std::string::npos) << c.name << " is not in the synopsis";
        const auto end = synopsis.find(".br", at);
        const std::string block = synopsis.substr(at, end - at);
        // Option lines: ".RB [ \-\-name" or ".B \-o"; the name without the escapes.
        std::set<std::string> in_man;
        const std::regex option(R"(\.R?B (\[ )?(\\-[\\a-z-]+).*)");
        std::istringstream lines(block);
        std::string line;
        while (std::getline(lines, line)) {
            std::smatch m;
            if (!std::regex_match(line, m, option)) continue;
            std::string name = m[2];
            name.erase(std::remove(name.begin(), name.end(), '\\'), name.end());
            in_man.insert(name);
        }
        std::set<std::string> in_help;
        for (const OptionHelp& o : c.options)
            in_help.insert(o.name);
        EXPECT_EQ(in_man, in_help) << c.name;
    }
}

// After every kind of failure the folder holds what it held before: no result file, no
// transcript, no working folder.
TEST(KitFailures, NothingIsLeftBehind) {
    TempDir dir;
    dir.write("header.csv", "time,value\n1,20000\n2,30000\n");
    dir.write("nan.dat", "1\n2\nNaN\n");
    dir.write("short.dat", testing::henon_series(50));
    dir.write("h.dat", testing::henon_series(1000));
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {"a header",
         {"run", dir.file("header.csv")},
         1,
         "header.csv, line 1, column 1: 'time' is not a finite number; a header line? "
         "tarnvex-kit prep "},
        {"two columns", {"run", dir.file("header.csv")}, 1, "2 columns? tarnvex-kit prep "},
        {"a NaN",
         {"run", dir.file("nan.dat"), "--keep-transcript", dir.file("t.txt")},
         1,
         "nan.dat, line 3, column 1: 'NaN' is not a finite number"},
        {"a NaN, sweep",
         {"sweep", dir.file("nan.dat"), "--csv", dir.file("g.csv")},
         1,
         "line 3, column 1"},
        {"a NaN, suggest", {"suggest", dir.file("nan.dat")}, 1, "line 3, column 1"},
        {"refused",
         {"run", dir.file("h.dat"), "--start", "999", "--json", dir.file("s.json")},
         2,
         "the parameters are refused: start point outside the embedded series"},
        {"no step",
         {"run", dir.file("short.dat"), "--keep-transcript", dir.file("t.txt")},
         3,
         "no step was counted"},
        {"no series", {"run", dir.file("none.dat")}, 1, "no series file"},
    };
    const auto listing = [&] {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.insert(e.path().filename().string());
        return names;
    };
    const std::set<std::string> before = listing();
    for (const auto& c : cases) {
        const auto r = testing::call_kit(c.args);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(r.err.find("/tmp/tarnvex-"), r.err.find(dir.path())) << "a temporary path";
        EXPECT_EQ(listing(), before) << c.name;
    }
}

// A result file of one dimension-20 record per report point, written by the program's own
// record writers.
std::string result_of_dimension_20() {
    textio::StringWriter result, console;
    Parameters p;
    p.dims.from = p.dims.to = 20;
    p.ncube = 200;
    Derived d;
    d.npts = 20000;
    d.tmax = 1000;
    result.write(result_file_header("my_series.dat", "my_result.out", p, d));
    RecordObserver records(result, &console);
    std::vector<float> lambda(20);
    const std::vector<double> sums(20);
    for (int n = 25; n <= 100; n += 25) {
        for (int i = 0; i < 20; ++i)
            lambda[static_cast<std::size_t>(i)] = static_cast<float>(1 - i) * 0.5f;
        records.report({n + 25, n, 1, 20, false, lambda, sums});
    }
    return result.text();
}

TEST(KitPlot, PlainTextNamesAndAColourForEveryExponent) {
    const ResultFile r{tarnvex::parse_result_file(result_of_dimension_20())};
    const PlotFiles f = plot_files(r, {}, nullptr, "/d", "out.png", 900);
    // No markup: a name with underscores is drawn as it is.
    EXPECT_NE(f.script.find(" noenhanced "), std::string::npos);
    EXPECT_EQ(f.script.find(" enhanced "), std::string::npos);
    EXPECT_NE(f.script.find("Lyapunov spectrum of my_series.dat (my_result.out)"),
              std::string::npos);
    // The parameters, and what became of the warm-up records.
    EXPECT_NE(f.script.find("\\nnpts 20000, ncube 200, tmax 1000, delay 1, dimensions 20 to 20, "
                            "dt 1, evolv 1, radius 2 %; warm-up records left out"),
              std::string::npos)
        << f.script;
    std::set<std::string> colours;
    const std::regex colour("lc palette frac ([0-9.]+)");
    for (std::sregex_iterator it(f.script.begin(), f.script.end(), colour), stop; it != stop; ++it)
        colours.insert((*it)[1]);
    EXPECT_EQ(colours.size(), 20u);
    EXPECT_EQ(f.panels, 1u);
    EXPECT_EQ(f.data.size(), 1u);
    EXPECT_EQ(testing::count_of(f.data.begin()->second, "\n"), 4);
}

// A long run's curve is drawn through at most 2000 of its records, the last included; a
// short one's through every record.
TEST(KitPlot, ALongRunsCurveIsThinned) {
    for (const int reports : {2000, 2001, 40000}) {
        textio::StringWriter result;
        Parameters p;
        p.dims.from = p.dims.to = 2;
        Derived d;
        d.npts = 1000000;
        result.write(result_file_header("s.dat", "r.out", p, d));
        RecordObserver records(result, nullptr, nullptr, RecordLayout::Widened);
        const std::vector<double> sums(2);
        for (int n = 1; n <= reports; ++n) {
            const std::vector<float> lambda{static_cast<float>(n) / 1000.0f, -1.0f};
            records.report({n, 25 * n, 1, 2, false, lambda, sums});
        }
        const ResultFile r{tarnvex::parse_result_file(result.text())};
        const std::string data =
            plot_files(r, {}, nullptr, "/d", "out.svg", 900).data.begin()->second;
        const int lines = testing::count_of(data, "\n");
        EXPECT_LE(lines, 2001) << reports;
        EXPECT_GE(lines, reports <= 2000 ? reports : 1000) << reports;
        EXPECT_NE(data.find("\n" + std::to_string(25 * reports) + " "), std::string::npos)
            << reports << ": the last record drawn";
    }
}

TEST(KitPlot, AnExistingImageIsKeptUnlessForced) {
    if (find_on_path("gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed";
    TempDir dir;
    dir.write("r.out", result_of_dimension_20());
    dir.write("x.svg", "mine");
    const auto refused = testing::call_kit({"plot", dir.file("r.out"), "-o", dir.file("x.svg")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("exists; it is not overwritten (--force overwrites)"),
              std::string::npos);
    EXPECT_EQ(dir.read("x.svg"), "mine");
    const auto forced =
        testing::call_kit({"plot", dir.file("r.out"), "-o", dir.file("x.svg"), "--force"});
    ASSERT_EQ(forced.status, 0) << forced.err;
    const std::string svg = dir.read("x.svg");
    EXPECT_NE(svg.find("my_series.dat"), std::string::npos);
}

}  // namespace
}  // namespace tarnvex::kit
