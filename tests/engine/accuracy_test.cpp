// Known-answer runs on the bundled examples: the estimates approach the exponents of the
// systems that made them.
//
// The tolerances are the method's: a local linear fit through 20-30 neighbours of
// integer-truncated data, over a few thousand steps, carries a statistical error of a few
// hundredths of a bit on the largest exponent, and the negative exponent is biased toward
// zero (the fit cannot resolve contraction below the truncation and the neighbourhood
// size) by some percent. The bounds below allow that and no more: a wrong sign, a wrong
// log base or a wrong time unit is off by far more.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/run_util.hpp"

namespace tarnvex::engine {
namespace {

// The last result-file record of dimension m, as its exponent values.
std::vector<double> last_estimates(const std::string& result, int m) {
    std::istringstream lines(result);
    std::string line, last;
    char head[16];
    std::snprintf(head, sizeof head, "%7d", m);
    while (std::getline(lines, line)) {
        if (line.size() >= 14 && line.substr(7, 7) == head) last = line;
    }
    std::vector<double> v;
    for (std::size_t p = 14; p + 10 <= last.size(); p += 10)
        v.push_back(std::stod(last.substr(p, 10)));
    return v;
}

struct Example {
    const char* name;
    int m;
    std::vector<double> known;  // bits per unit time
    std::vector<double> tolerance;
};

TEST(Accuracy, BundledExamplesApproachTheKnownExponents) {
    const Example cases[] = {
        {"henon", 2, {0.6048, -2.3418}, {0.05, 0.2}},
        {"logistic", 1, {1.0}, {0.05}},
    };
    for (const auto& c : cases) {
        testing::TempDir dir;
        const std::string src = std::string(TARNVEX_EXAMPLES_DIR) + "/" + c.name;
        std::filesystem::copy_file(src + ".dat", dir.file(std::string(c.name) + ".dat"));
        std::ifstream answers(src + ".answers");
        std::stringstream ss;
        ss << answers.rdbuf();
        const auto r = testing::run_in(dir, ss.str());
        ASSERT_EQ(r.status, 0) << r.err;
        const auto got = last_estimates(dir.read(std::string(c.name) + ".out"), c.m);
        ASSERT_EQ(got.size(), c.known.size()) << c.name;
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_NEAR(got[i], c.known[i], c.tolerance[i]) << c.name << " exponent " << i + 1;
        }
    }
}

}  // namespace
}  // namespace tarnvex::engine
