// Whole runs in process: fatal reports, refusals and the files they leave.

#include "program/run.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/run_util.hpp"

namespace tarnvex::program {
namespace {

using testing::run_in;
using testing::TempDir;

const std::string kAnswers = "3000 30 100 1 2 2\n1\n1\n1\n2\n";

TEST(Run, FatalReportsNameTheChannelAndTheFile) {
    const struct {
        const char* name;
        const char* series;  // content of s.dat, or nullptr for no file
        std::string answers;
        const char* report;  // with @ for the folder
        bool result_created;
    } cases[] = {
        {"missing series", nullptr, "s.dat\nr.out\n",
         "dralum: severe (29): file not found, unit 10, file @/s.dat\n", false},
        {"missing folder", "1\n", "nodir/s.dat\nr.out\n",
         "dralum: severe (29): file not found, unit 10, file @/nodir/s.dat\n", false},
        {"blank name", "1\n", "   \nr.out\n",
         "dralum: severe (43): file name specification error, unit 10, file @/\n", false},
        {"folder as series", "1\n", ".\nr.out\n",
         "dralum: severe (30): open failure, unit 10, file @/.\n", false},
        {"end at first name", "1\n", "",
         "dralum: severe (24): end-of-file during read, unit 5, file stdin\n", false},
        {"end at second name", "1\n", "s.dat\n",
         "dralum: severe (24): end-of-file during read, unit 5, file stdin\n", false},
        {"end in the dialogue", "1 2 3\n", "s.dat\nr.out\n1 2 3\n",
         "dralum: severe (24): end-of-file during read, unit -4, file stdin\n", true},
        {"bad answer", "1 2 3\n", "s.dat\nr.out\nabc\n",
         "dralum: severe (59): list-directed I/O syntax error, unit -4, file stdin\n", true},
        {"answer out of range", "1 2 3\n", "s.dat\nr.out\n2147483648\n",
         "dralum: severe (64): input conversion error, unit -4, file stdin\n", true},
        {"word in series", "value\n1\n", "s.dat\nr.out\n",
         "dralum: severe (59): list-directed I/O syntax error, unit 10, file @/s.dat\n", true},
        {"bad number in series", "1\n1.2.3\n", "s.dat\nr.out\n",
         "dralum: severe (64): input conversion error, unit 10, file @/s.dat\n", true},
        {"real too large", "1\n1e39\n", "s.dat\nr.out\n",
         "dralum: severe (64): input conversion error, unit 10, file @/s.dat\n", true},
    };
    for (const auto& c : cases) {
        TempDir dir;
        if (c.series != nullptr) dir.write("s.dat", c.series);
        const auto r = run_in(dir, c.answers);
        std::string want = c.report;
        if (const auto at = want.find('@'); at != std::string::npos)
            want.replace(at, 1, dir.path());
        EXPECT_EQ(r.status, kExitFatal) << c.name;
        EXPECT_EQ(r.err, want) << c.name;
        EXPECT_EQ(dir.exists("r.out"), c.result_created) << c.name;
        if (c.result_created) {
            EXPECT_EQ(dir.read("r.out"), "") << c.name;
        }
    }
}

TEST(Run, ExistingResultFileIsNeverTouched) {
    TempDir dir;
    dir.write("s.dat", "1 2 3\n");
    dir.write("r.out", "precious\n");
    const auto r = run_in(dir, "s.dat\nr.out\n" + kAnswers);
    EXPECT_EQ(r.status, kExitFatal);
    EXPECT_EQ(r.err, "dralum: severe (10): cannot overwrite existing file, unit 20, file " +
                         dir.path() + "/r.out\n");
    EXPECT_EQ(dir.read("r.out"), "precious\n");
}

TEST(Run, UnreadableSeriesAndReadOnlyFolder) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempDir dir;
    dir.write("s.dat", "1\n");
    ::chmod(dir.file("s.dat").c_str(), 0);
    const auto r = run_in(dir, "s.dat\nr.out\n");
    EXPECT_EQ(r.err, "dralum: severe (9): permission to access file denied, unit 10, file " +
                         dir.path() + "/s.dat\n");
}

TEST(Run, NamesAreCutAtTwentyCharacters) {
    TempDir dir;
    dir.write("12345678901234567890", testing::henon_series(300));
    const auto r = run_in(dir, "123456789012345678901234\nr.out\n300 10 5 1 2 2\n1\n1\n1\n2\n");
    EXPECT_EQ(r.status, kExitDone) << r.err;
    EXPECT_NE(r.out.find("ndata =         300"), std::string::npos);
    EXPECT_EQ(dir.read("r.out").substr(0, 42), "12345678901234567890r.out               \r\n");
}

TEST(Run, RefusedRunsStopWithStatusTwoAfterTheHeader) {
    TempDir dir;
    dir.write("s.dat", testing::henon_series(100));
    const auto r = run_in(dir, "s.dat\nr.out\n100 30 100 1 2 21\n1\n1\n1\n2\n");
    EXPECT_EQ(r.status, kExitRefused);
    const std::string tail = "  emb dim. too high !!\r\n";
    ASSERT_GE(r.out.size(), tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - tail.size()), tail);
    const std::string result = dir.read("r.out");
    EXPECT_EQ(testing::count_of(result, "\r\n"), 3);  // names record and two parameter lines
}

}  // namespace
}  // namespace tarnvex::program
