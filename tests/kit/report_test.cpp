// tarnvex-kit report: a page written once next to the series or where -o says, the kit's
// clean refusals with nothing left behind, and the page of a run that counts no step.

#include "tarnvex/report.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/kit_util.hpp"
#include "support/run_util.hpp"

namespace tarnvex::kit {
namespace {

using testing::TempDir;

std::set<std::string> listing(const TempDir& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        names.insert(e.path().filename().string());
    return names;
}

TEST(KitReport, WritesAPageOnceAndNeverOverAFile) {
    TempDir dir;
    dir.write("h.dat", testing::henon_series(1500));
    const std::vector<std::string> args{"report", dir.file("h.dat"), "--dims", "2:2", "--quick"};
    const auto first = testing::call_kit(args);
    ASSERT_EQ(first.status, 0) << first.err;
    const auto second = testing::call_kit(args);
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(listing(dir), (std::set<std::string>{"h.dat", "h.1.html", "h.2.html"}));
    EXPECT_EQ(first.out.rfind("wrote " + dir.file("h.1.html") + " (", 0), 0u) << first.out;
    // The kit prints the verdict the page leads with.
    const std::string page = dir.read("h.1.html");
    const auto v = first.out.find("verdict: ");
    ASSERT_NE(v, std::string::npos);
    EXPECT_NE(page.find(html_escape(first.out.substr(v))), std::string::npos);
    // The command that makes the page again, and the series' name.
    EXPECT_NE(page.find("<td>tarnvex-kit report " + dir.file("h.dat") + " --dims 2:2 --quick</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<title>tarnvex report: h.dat</title>"), std::string::npos);

    std::vector<std::string> over = args;
    over.insert(over.end(), {"-o", dir.file("h.1.html")});
    const auto refused = testing::call_kit(over);
    EXPECT_EQ(refused.status, 2);
    EXPECT_NE(refused.err.find("h.1.html exists; it is not overwritten"), std::string::npos)
        << refused.err;
    EXPECT_EQ(dir.read("h.1.html"), page);
}

TEST(KitReport, BadInputLeavesNothingBehind) {
    TempDir dir;
    dir.write("h.dat", testing::henon_series(1000));
    dir.write("nan.dat", "1\n2\nNaN\n");
    dir.write("table.csv", "time,value\n1,20000\n2,30000\n");
    dir.write("flat.dat", "7\n7.5\n7.2\n7.9\n");
    const struct {
        const char* name;
        std::vector<std::string> args;
        int status;
        const char* message;
    } cases[] = {
        {"no series", {"report", dir.file("none.dat")}, 1, "no series file"},
        {"a NaN",
         {"report", dir.file("nan.dat"), "-o", dir.file("p.html")},
         1,
         "line 3, column 1: 'NaN' is not a finite number"},
        {"a table", {"report", dir.file("table.csv")}, 1, "tarnvex-kit prep"},
        {"one integer",
         {"report", dir.file("flat.dat"), "--dims", "1:1"},
         1,
         "every sample truncates to the same integer, 7"},
        {"refused",
         {"report", dir.file("h.dat"), "--start", "999", "-o", dir.file("p.html")},
         2,
         "the parameters are refused: start point outside the embedded series"},
        {"bad option value",
         {"report", dir.file("h.dat"), "--surrogates", "many"},
         2,
         "--surrogates must be a whole number"},
        {"unknown option",
         {"report", dir.file("h.dat"), "--count", "3"},
         2,
         "unknown option --count"},
        {"no folder",
         {"report", dir.file("h.dat"), "--quick", "-o", dir.file("none/p.html")},
         1,
         "cannot write"},
    };
    const std::set<std::string> before = listing(dir);
    for (const auto& c : cases) {
        const auto r = testing::call_kit(c.args);
        EXPECT_EQ(r.status, c.status) << c.name << ": " << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(listing(dir), before) << c.name;
    }
}

TEST(KitReport, ARunWithoutAStepGetsAPageAndStatus3) {
    TempDir dir;
    dir.write("short.dat", testing::henon_series(50));
    const auto r = testing::call_kit({"report", dir.file("short.dat"), "--dims", "2:2",
                                      "--surrogates", "39", "-o", dir.file("s.html")});
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("no step was counted"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("the page says so: " + dir.file("s.html")), std::string::npos) << r.err;
    ASSERT_TRUE(dir.exists("s.html"));
    const std::string page = dir.read("s.html");
    EXPECT_NE(page.find("NO STEP COUNTED"), std::string::npos);
    EXPECT_NE(page.find("The run counted no step"), std::string::npos);
    EXPECT_NE(page.find("no surrogate test: the run of the data counted no step"),
              std::string::npos);
}

}  // namespace
}  // namespace tarnvex::kit
