#include "textio/fields.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace tarnvex::textio {
namespace {

struct RealCase {
    float value;
    const char* expected;
};

std::string free_real(float v) {
    std::string s;
    append_free_real(s, v);
    return s;
}

TEST(FreeRealField, FixedAndExponentForms) {
    const float inf = std::numeric_limits<float>::infinity();
    const RealCase cases[] = {
        {1.0f, "   1.000000    "},
        {0.5f, "  0.5000000    "},
        {123.4567f, "   123.4567    "},
        {-2.5f, "  -2.500000    "},
        {1.0e7f, "  1.0000000E+07"},
        {0.01f, "  1.0000000E-02"},  // exact value 0.0099999997...
        {0.0f, "  0.0000000E+00"},
        {-0.0f, "  0.0000000E+00"},
        {1000000.0f, "   1000000.    "},
        {9999999.0f, "   9999999.    "},
        {0.1f, "  0.1000000    "},
        {0.099999994f, "  9.9999990E-02"},    // the float just below 0.1
        {999999.94f, "   999999.9    "},      // 999999.9375
        {99999997952.0f, "  1.0000000E+11"},  // 9.9999997952e10: the carry adds a digit
        {0.09999f, "  9.9990000E-02"},
        {-1.5e-5f, " -1.5000000E-05"},
        {3.4028235e38f, "  3.4028230E+38"},
        {1.0e-45f, "  1.4012980E-45"},
        {2.0f, "   2.000000    "},
        {511.3f, "   511.3000    "},
        {inf, "       Infinity"},
        {-inf, "      -Infinity"},
        {std::nanf(""), "            NaN"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(free_real(c.value), c.expected) << "value " << c.value;
    }
}

TEST(FreeRealField, SevenDigitRoundingTiesAwayFromZero) {
    // Halves below 2^21 are exact floats: true ties at the seventh digit.
    EXPECT_EQ(free_real(1234567.5f), "   1234568.    ");
    EXPECT_EQ(free_real(-1234567.5f), "  -1234568.    ");
    EXPECT_EQ(free_real(1234566.5f), "   1234567.    ");  // not to even
    EXPECT_EQ(free_real(4999999.5f), "   5000000.    ");
}

struct FixedCase {
    float value;
    int w;
    int d;
    const char* expected;
};

TEST(FixedField, LayoutZeroSignAndAsterisks) {
    const float inf = std::numeric_limits<float>::infinity();
    const FixedCase cases[] = {
        {0.61f, 8, 2, "    0.61"},
        {-2.27f, 8, 2, "   -2.27"},
        {-0.001f, 8, 2, "    0.00"},
        {0.125f, 8, 2, "    0.13"},  // exact tie, away from zero
        {-0.125f, 8, 2, "   -0.13"},
        {0.375f, 8, 2, "    0.38"},
        {2.675f, 8, 2, "    2.67"},  // exact value lies below the tie
        {123456.0f, 8, 2, "********"},
        {99999.99f, 8, 2, "99999.99"},
        {-9999.99f, 8, 2, "-9999.99"},
        {-10000.0f, 8, 2, "********"},
        {0.5f, 3, 2, ".50"},  // no room for the 0
        {-0.5f, 4, 2, "-.50"},
        {-0.5f, 3, 2, "***"},
        {9.999f, 6, 2, " 10.00"},
        {1234567.0f, 10, 2, "1234567.00"},
        {-123456.0f, 10, 2, "-123456.00"},
        {12345678.0f, 10, 2, "**********"},
        {inf, 8, 2, "Infinity"},
        {-inf, 8, 2, "    -Inf"},
        {-inf, 10, 2, " -Infinity"},
        {std::nanf(""), 8, 2, "     NaN"},
        {inf, 2, 1, "**"},
        // Exact ties and edges of the integer route (|v| * 10^d worked out in 64 bits).
        {1234.125f, 10, 2, "   1234.13"},
        {-1234.625f, 10, 2, "  -1234.63"},
        {0.0625f, 8, 3, "   0.063"},
        {0.005f, 8, 2, "    0.00"},  // exact value 0.00499999988...
        {1.0e-45f, 8, 2, "    0.00"},
        {-1.0e-45f, 8, 2, "    0.00"},
        {4294967296.0f, 14, 2, " 4294967296.00"},
        {8589934592.0f, 14, 2, " 8589934592.00"},  // beyond the integer route
        {2.5f, 4, 0, "  3."},
        {0.4f, 4, 0, "  0."},
        {0.75f, 12, 9, " 0.750000000"},
        {0.1f, 13, 10, " 0.1000000015"},  // d = 10: the exact expansion
    };
    for (const auto& c : cases) {
        std::string s;
        append_fixed_field(s, c.value, c.w, c.d);
        EXPECT_EQ(s, c.expected) << "value " << c.value << " F" << c.w << "." << c.d;
    }
}

TEST(FixedField, AgreesWithPrintfAwayFromTies) {
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> dist(-9999.0f, 9999.0f);
    for (int n = 0; n < 20000; ++n) {
        const float v = dist(gen);
        // Skip values within rounding distance of a tie, where printf rounds to even.
        const double scaled = static_cast<double>(v) * 100.0;
        if (std::fabs(scaled - std::trunc(scaled) - std::copysign(0.5, scaled)) < 1e-6) continue;
        char ref[32];
        std::snprintf(ref, sizeof ref, "%8.2f", static_cast<double>(v));
        std::string r(ref);
        if (r == "   -0.00") r = "    0.00";
        std::string s;
        append_fixed_field(s, v, 8, 2);
        ASSERT_EQ(s, r) << v;
    }
}

TEST(IntField, RightJustifiedOrAsterisks) {
    const struct {
        long long v;
        int w;
        const char* expected;
    } cases[] = {
        {5, 12, "           5"},
        {20000, 12, "       20000"},
        {-7, 12, "          -7"},
        {-2147483648LL, 12, " -2147483648"},
        {123456, 5, "*****"},
        {99999, 5, "99999"},
        {-9999, 5, "-9999"},
        {-10000, 5, "*****"},
        {0, 2, " 0"},
        {100, 2, "**"},
        {200, 3, "200"},
    };
    for (const auto& c : cases) {
        std::string s;
        append_int_field(s, c.v, c.w);
        EXPECT_EQ(s, c.expected) << c.v;
    }
}

}  // namespace
}  // namespace tarnvex::textio
