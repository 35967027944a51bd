// Hostile input: whatever the series file or the answers hold, a run computes or ends
// with its report or message and the right status, and the result file holds exactly
// what was written before the end.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

#include "support/run_util.hpp"
#include "tarnvex/systems.hpp"

namespace tarnvex::program {
namespace {

using testing::count_of;
using testing::run_in;
using testing::TempDir;

const std::string kDialogue = "200 10 50 1 2 2\n1\n1\n1\n2\n";

// What a result file holds after the header: its first three lines, or nothing.
enum class Result { None, Empty, Header, Full };

struct SeriesCase {
    const char* name;
    std::string series;
    int status;
    const char* err_or_message;  // the report's start, or the console message
    Result result;
};

std::string repeat(const std::string& s, std::size_t n) {
    std::string out;
    out.reserve(s.size() * n);
    for (std::size_t i = 0; i < n; ++i)
        out += s;
    return out;
}

TEST(Hostile, SeriesFiles) {
    const std::string henon = testing::henon_series(300);
    const SeriesCase cases[] = {
        {"binary garbage", std::string("\x01\x02\xff\xfe garbage", 12), 1, "dralum: severe (59)",
         Result::Empty},
        {"NUL bytes", std::string("1 2\0 3\n", 7), 1, "dralum: severe (59)", Result::Empty},
        // A constant series: loaded, every step given up, nothing counted.
        {"one line of 10 MB", repeat("1 ", 5000000), 0, "", Result::Header},
        {"one token of 10 MB", repeat("1", 10000000), 1, "dralum: severe (64)", Result::Empty},
        {"1e39", "1\n1e39\n", 1, "dralum: severe (64)", Result::Empty},
        {"-1e39", "1\n-1e39\n", 1, "dralum: severe (64)", Result::Empty},
        {"3e9", "3e9\n" + henon, 2, "data value too large for integer coordinates", Result::Header},
        {"2147483648", "2147483648\n" + henon, 2, "data value too large for integer coordinates",
         Result::Header},
        {"small and signed forms", "1e-50 -0.0 +5 .5 5. 1d3 1q3\n" + henon, 0, "", Result::Full},
        {"repeats", "1 2*\n3*7\n" + henon + "2*", 0, "", Result::Full},
        {"only separators", ", , ,\n\t\n,\n", 2, "start point outside the embedded series",
         Result::Header},
        {"CR only line ends", "1\r2\r3\r", 1, "dralum: severe (59)", Result::Empty},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("s.dat", c.series);
        const auto r = run_in(dir, "s.dat\nr.out\n" + kDialogue);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.err;
        if (c.status == 1) {
            EXPECT_EQ(r.err.rfind(c.err_or_message, 0), 0u) << c.name << ": " << r.err;
            EXPECT_NE(r.err.find(", unit 10, file " + dir.path() + "/s.dat\n"), std::string::npos)
                << c.name;
        } else if (c.status == 2) {
            EXPECT_NE(r.out.find(std::string(" ") + c.err_or_message + "\r\n"), std::string::npos)
                << c.name;
        }
        const std::string result = dir.read("r.out");
        switch (c.result) {
            case Result::None:
                EXPECT_FALSE(dir.exists("r.out")) << c.name;
                break;
            case Result::Empty:
                EXPECT_EQ(result, "") << c.name;
                break;
            case Result::Header:
                EXPECT_EQ(count_of(result, "\r\n"), 3) << c.name;
                break;
            case Result::Full:
                EXPECT_GT(count_of(result, "\r\n"), 3) << c.name;
                break;
        }
    }
}

TEST(Hostile, AnswersAndNames) {
    const std::string henon = testing::henon_series(300);
    const struct {
        const char* name;
        std::string answers;
        int status;
        const char* err;  // with @ for the folder; empty when no report
    } cases[] = {
        {"thousands of empty lines", "s.dat\nr.out\n" + repeat("\n", 5000) + kDialogue, 0, ""},
        {"six lines with CR LF",
         "s.dat\r\nr.out\r\n200\r\n10\r\n50\r\n1\r\n2\r\n2\r\n1\r\n1\r\n1\r\n2\r\n", 0, ""},
        {"name with spaces", "my series.dat\nr.out\n" + kDialogue, 0, ""},
        {"name of 20 characters", "abcdefghijklmnopqrst\nr.out\n" + kDialogue, 0, ""},
        {"name of 21 characters", "abcdefghijklmnopqrstu\nr.out\n" + kDialogue, 0, ""},
        {"blank result name", "s.dat\n \n", 1,
         "dralum: severe (43): file name specification error, unit 20, file @/\n"},
        {"result in a missing folder", "s.dat\nno/r.out\n", 1,
         "dralum: severe (29): file not found, unit 20, file @/no/r.out\n"},
        {"result named as a folder", "s.dat\nsub\n", 1,
         "dralum: severe (10): cannot overwrite existing file, unit 20, file @/sub\n"},
        {"series equal to result", "s.dat\ns.dat\n", 1,
         "dralum: severe (10): cannot overwrite existing file, unit 20, file @/s.dat\n"},
        {"result on a device", "s.dat\n/dev/null\n", 1,
         "dralum: severe (10): cannot overwrite existing file, unit 20, file /dev/null\n"},
        {"series from a device", "/dev/null\nr.out\n" + kDialogue, 2, ""},
        {"series from an endless device", "/dev/zero\nr.out\n", 1,
         "dralum: severe (59): list-directed I/O syntax error, unit 10, file /dev/zero\n"},
        {"series from a pipe without writer", "fifo\nr.out\n" + kDialogue, 2, ""},
        {"series is a folder", "sub\nr.out\n", 1,
         "dralum: severe (30): open failure, unit 10, file @/sub\n"},
        {"T for a number", "s.dat\nr.out\nT\n", 1,
         "dralum: severe (59): list-directed I/O syntax error, unit -4, file stdin\n"},
        {"huge integer", "s.dat\nr.out\n1e10\n", 1,
         "dralum: severe (64): input conversion error, unit -4, file stdin\n"},
        {"dt beyond single precision", "s.dat\nr.out\n200 10 50 1 2 2\n1\n1e39\n", 1,
         "dralum: severe (64): input conversion error, unit -4, file stdin\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        for (const char* n : {"s.dat", "my series.dat", "abcdefghijklmnopqrst"})
            dir.write(n, henon);
        ::mkdir(dir.file("sub").c_str(), 0755);
        ::mkfifo(dir.file("fifo").c_str(), 0644);
        const auto r = run_in(dir, c.answers);
        EXPECT_EQ(r.status, c.status) << c.name << "\n" << r.err;
        std::string want = c.err;
        if (const auto at = want.find('@'); at != std::string::npos)
            want.replace(at, 1, dir.path());
        EXPECT_EQ(r.err, want) << c.name;
        EXPECT_EQ(dir.read("s.dat"), henon) << c.name << ": the series file is never touched";
    }
}

// Runs that must end: at most ntrip iterations, each with at most 17 scans of the count
// check and a bounded number of singular retries (the radius grows by at least 1/8 each
// time until it leaves the integer range or stops changing).
TEST(Hostile, AdversarialDataEnds) {
    std::string constant, period2, noise, outlier;
    unsigned s = 12345;
    for (int i = 0; i < 1000; ++i) {
        constant += "42\n";
        period2 += (i % 2 ? "100\n" : "-100\n");
        s = s * 1103515245u + 12345u;
        noise += ((s >> 16) & 1 ? "7\n" : "-7\n");
        outlier += (i == 500 ? "2000000000\n" : std::to_string((i * 37) % 101) + "\n");
    }
    const std::string lorenz = system_series("lorenz", 20000);
    const std::string henon = testing::henon_series(1000);
    const struct {
        const char* name;
        const std::string& series;
        std::string dialogue;
    } cases[] = {
        {"constant", constant, "1000 10 500 1 2 3\n1\n1\n1\n2\n"},
        {"period 2", period2, "1000 10 500 1 2 3\n1\n1\n1\n2\n"},
        {"two-valued noise", noise, "1000 10 500 1 2 4\n1\n1\n1\n2\n"},
        {"one outlier", outlier, "1000 10 500 1 2 3\n1\n1\n1\n2\n"},
        {"radius 0", henon, "1000 10 500 1 2 3\n1\n1\n1\n0\n"},
        {"negative radius", henon, "1000 10 500 1 2 3\n1\n1\n1\n-5\n"},
        {"radius 1e30", henon, "1000 10 500 1 2 3\n1\n1\n1\n1e30\n"},
        {"radius 1e-30", henon, "1000 10 500 1 2 3\n1\n1\n1\n1e-30\n"},
        {"ncube 1", henon, "1000 1 500 1 1 3\n1\n1\n1\n2\n"},
        {"mto 20 delay 1000", lorenz, "20000 30 100 1000 2 20\n1\n0.01\n1\n2\n"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("s.dat", c.series);
        const auto start = std::chrono::steady_clock::now();
        const auto r = run_in(dir, "s.dat\nr.out\n" + c.dialogue);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_EQ(r.status, 0) << c.name << "\n" << r.err;
        EXPECT_EQ(r.err, "") << c.name;
        // The run reached its closing (or its tmax): the console's last record is a report,
        // a progress or limit record, or the closing message.
        EXPECT_GT(count_of(r.out, "\r\n"), 23) << c.name;
        RecordProperty(c.name, std::to_string(seconds));
    }
}

}  // namespace
}  // namespace tarnvex::program
