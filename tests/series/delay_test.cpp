// The delay suggestion: the mutual information and the autocorrelation on series whose
// curves are known, and the delay each rule picks from them.

#include "tarnvex/delay.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/series_util.hpp"
#include "tarnvex/systems.hpp"

namespace tarnvex {
namespace {

std::vector<double> alternating(int n) {
    std::vector<double> x;
    for (int i = 0; i < n; ++i)
        x.push_back(i % 2 == 0 ? 5.0 : -5.0);
    return x;
}

TEST(DelaySuggestion, FromTheMutualInformation) {
    // A measured sine of period 40 (with noise of 2 percent): the first minimum lies at a
    // quarter period.
    for (unsigned seed : {1u, 2u, 3u}) {
        std::mt19937 gen(seed);
        std::normal_distribution<double> noise(0.0, 20.0);
        std::vector<double> sine;
        for (int i = 0; i < 4000; ++i)
            sine.push_back(std::trunc(1000.0 * std::sin(2.0 * M_PI * i / 40.0) + noise(gen)));
        const DelaySuggestion s = suggest_delay(sine, 100, 16);
        EXPECT_NEAR(s.delay, 10, 1) << "seed " << seed;
        EXPECT_EQ(s.rule, DelayRule::MutualInformationMinimum);
        EXPECT_EQ(s.method, "first minimum of the mutual information");
    }

    std::vector<double> lorenz;
    for (double v : generate(*find_system("lorenz"), 5000, 1000, 0.01))
        lorenz.push_back(std::trunc(v * 100.0));
    const DelaySuggestion l = suggest_delay(lorenz, 200, 16);
    EXPECT_GE(l.delay, 10);
    EXPECT_LE(l.delay, 30);

    // Alternating values: the information never falls, the autocorrelation is -1 at once.
    const DelaySuggestion a = suggest_delay(alternating(1000), 50, 16);
    EXPECT_EQ(a.delay, 1);
    EXPECT_EQ(a.rule, DelayRule::AutocorrelationZero);
    EXPECT_NE(a.method.find("autocorrelation"), std::string::npos) << a.method;
}

// Series of period 4 looked at up to lag 2: no minimum of the information can be told there
// (one needs two lags after it), so the delay is the autocorrelation's first lag that is not
// positive. Over n = 1000 samples, about their mean:
// - +1, +1, -1, -1 (or 4, 4, 2, 2): 1 / n at lag 1, -(n - 2) / n at lag 2;
// - 0, 1, 0, -1: 0 at lag 1 (every product has a 0), which counts;
// - +5, -5: -(n - 1) / n at lag 1.
TEST(DelaySuggestion, FromTheAutocorrelationWhereTheInformationHasNoMinimum) {
    const struct {
        const char* what;
        double pattern[4];
        int delay;
        double lag1, lag2;
    } cases[] = {
        {"pairs", {1.0, 1.0, -1.0, -1.0}, 2, 1.0 / 1000.0, -998.0 / 1000.0},
        {"pairs about 3", {4.0, 4.0, 2.0, 2.0}, 2, 1.0 / 1000.0, -998.0 / 1000.0},
        {"quarter sine", {0.0, 1.0, 0.0, -1.0}, 1, 0.0, -998.0 / 1000.0},
        {"alternating", {5.0, -5.0, 5.0, -5.0}, 1, -999.0 / 1000.0, 998.0 / 1000.0},
    };
    for (const auto& c : cases) {
        std::vector<double> x;
        for (int i = 0; i < 1000; ++i)
            x.push_back(c.pattern[i % 4]);
        const DelaySuggestion s = suggest_delay(x, 2, 16);
        EXPECT_EQ(s.delay, c.delay) << c.what;
        EXPECT_EQ(s.rule, DelayRule::AutocorrelationZero) << c.what;
        EXPECT_EQ(s.method,
                  "first zero of the autocorrelation (the mutual information has no minimum up "
                  "to lag 2)")
            << c.what;
        ASSERT_EQ(s.autocorrelation.size(), 3u) << c.what;
        EXPECT_DOUBLE_EQ(s.autocorrelation[1], c.lag1) << c.what;
        EXPECT_DOUBLE_EQ(s.autocorrelation[2], c.lag2) << c.what;
    }
}

// Lags up to half the samples, both curves over all of them; a constant series has no
// autocorrelation and keeps the default delay.
TEST(DelaySuggestion, CurvesAndTheDefault) {
    const DelaySuggestion c = suggest_delay(std::vector<double>(20, 3.0), 200, 16);
    EXPECT_EQ(c.max_lag, 10);
    EXPECT_EQ(c.delay, 1);
    EXPECT_EQ(c.rule, DelayRule::Default);
    EXPECT_EQ(c.method,
              "no minimum of the mutual information and no zero of the autocorrelation up to "
              "lag 10; 1 by default");
    EXPECT_EQ(c.mutual_information, std::vector<double>(11, 0.0));
    EXPECT_TRUE(c.autocorrelation.empty());

    const DelaySuggestion a = suggest_delay(alternating(100), 30, 16);
    EXPECT_EQ(a.max_lag, 30);
    EXPECT_EQ(a.mutual_information.size(), 31u);
    EXPECT_EQ(a.autocorrelation.size(), 31u);
}

TEST(MutualInformation, KnownCurves) {
    // Sixteen values, each in a bin of its own, equally often: the information of the series
    // with itself is its entropy, 4 bits, and every delayed copy determines it (x + k mod 16).
    std::vector<double> cycle;
    for (int i = 0; i < 1600; ++i)
        cycle.push_back(i % 16);
    const std::vector<double> mi = mutual_information(cycle, 32, 16);
    ASSERT_EQ(mi.size(), 33u);
    EXPECT_DOUBLE_EQ(mi[0], 4.0);
    EXPECT_DOUBLE_EQ(mi[16], 4.0);
    EXPECT_DOUBLE_EQ(mi[32], 4.0);
    for (std::size_t k = 1; k < mi.size(); ++k)
        EXPECT_NEAR(mi[k], 4.0, 0.01) << "lag " << k;

    // Two values in the outer bins, each determining the other: one bit where the overlap
    // holds as many of each (even lags), a hair less where it holds one more of one.
    const std::vector<double> two = mutual_information(alternating(1000), 20, 16);
    for (std::size_t k = 0; k < two.size(); ++k) {
        if (k % 2 == 0) {
            EXPECT_DOUBLE_EQ(two[k], 1.0) << "lag " << k;
        } else {
            EXPECT_NEAR(two[k], 1.0, 1e-5) << "lag " << k;
            EXPECT_LT(two[k], 1.0) << "lag " << k;
        }
    }

    // Independent uniform samples: no information beyond lag 0 but the histogram's bias,
    // (bins - 1)^2 / (2 n ln 2) = 0.008 bits here.
    testing::Uniform u(5);
    std::vector<double> noise;
    for (int i = 0; i < 20000; ++i)
        noise.push_back(u());
    const std::vector<double> n = mutual_information(noise, 5, 16);
    EXPECT_NEAR(n[0], 4.0, 0.01);
    for (std::size_t k = 1; k < n.size(); ++k) {
        EXPECT_GT(n[k], 0.0) << "lag " << k;
        EXPECT_LT(n[k], 0.02) << "lag " << k;
    }
}

TEST(Autocorrelation, KnownCurves) {
    // +5, -5, ...: the mean is 0 and the sum of products at lag k is (-1)^k 25 (n - k).
    const std::vector<double> a = autocorrelation(alternating(1000), 6);
    ASSERT_EQ(a.size(), 7u);
    for (int k = 0; k <= 6; ++k) {
        const double want = (k % 2 == 0 ? 1.0 : -1.0) * (1000 - k) / 1000.0;
        EXPECT_DOUBLE_EQ(a[static_cast<std::size_t>(k)], want) << "lag " << k;
    }
    // A sine of period 40: cos(2 pi k / 40), shortened by the overlap (n - k) / n, give or take
    // the part period the overlap ends in (at most 1 / (n sin(pi / 20)) = 0.0016).
    std::vector<double> sine;
    for (int i = 0; i < 4000; ++i)
        sine.push_back(std::sin(2.0 * M_PI * i / 40.0));
    const std::vector<double> s = autocorrelation(sine, 40);
    for (const int k : {0, 5, 10, 20, 40}) {
        EXPECT_NEAR(s[static_cast<std::size_t>(k)],
                    std::cos(2.0 * M_PI * k / 40.0) * (4000 - k) / 4000.0, 2e-3)
            << "lag " << k;
    }
    EXPECT_TRUE(autocorrelation(std::vector<double>(10, -2.0), 3).empty());
}

TEST(DelaySuggestion, Refusals) {
    const std::vector<double> eight = alternating(8);
    const struct {
        const char* what;
        void (*call)(const std::vector<double>&);
        const char* message;
    } cases[] = {
        {"seven samples",
         [](const std::vector<double>& x) { suggest_delay(std::span(x).first(7), 3, 16); },
         "too few samples to suggest a delay"},
        {"lag 0", [](const std::vector<double>& x) { suggest_delay(x, 0, 16); },
         "the largest lag must be at least 1"},
        {"no bins", [](const std::vector<double>& x) { suggest_delay(x, 3, 0); },
         "at least one bin"},
        {"information to the last sample",
         [](const std::vector<double>& x) { mutual_information(x, 8, 16); },
         "from 0 to one less than the 8 samples, not 8"},
        {"information at a negative lag",
         [](const std::vector<double>& x) { mutual_information(x, -1, 16); }, "not -1"},
        {"information without bins",
         [](const std::vector<double>& x) { mutual_information(x, 2, 0); }, "at least one bin"},
        {"autocorrelation to the last sample",
         [](const std::vector<double>& x) { autocorrelation(x, 8); }, "not 8"},
        {"autocorrelation of nothing",
         [](const std::vector<double>&) { autocorrelation(std::vector<double>{}, 0); },
         "one less than the 0 samples"},
    };
    for (const auto& c : cases) {
        try {
            c.call(eight);
            ADD_FAILURE() << "accepted: " << c.what;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.what << ": " << e.what();
        }
    }
}

}  // namespace
}  // namespace tarnvex
