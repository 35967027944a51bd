// The companion generator: the bundled examples come from it, and they carry the known
// exponents of their systems.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "kit/commands.hpp"
#include "support/run_util.hpp"

namespace tarnvex::kit {
namespace {

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

TEST(KitGen, BundledExamplesComeFromTheGenerator) {
    for (const char* name : {"henon", "logistic", "lorenz"}) {
        std::ostringstream out, err;
        ASSERT_EQ(run_kit({"gen", name}, out, err), 0) << err.str();
        EXPECT_EQ(out.str(), read_file(std::string(TARNVEX_EXAMPLES_DIR) + "/" + name + ".dat"))
            << name;
        EXPECT_NE(err.str().find("known exponents"), std::string::npos);
    }
}

TEST(KitGen, Refusals) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"gen"}, "usage: tarnvex-kit gen SYSTEM"},
        {{"gen", "duffing"}, "unknown system 'duffing'"},
        {{"gen", "henon", "-n", "10000001"}, "-n must be a whole number from 1 to 10000000"},
        {{"gen", "henon", "-n", "ten"}, "-n must be a whole number"},
        {{"gen", "lorenz", "--step", "0"}, "--step must be positive"},
        {{"gen", "henon", "--scale", "1e12"}, "leaves the 32-bit integer range"},
        {{"gen", "henon", "--colour", "red"}, "unknown option --colour"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(run_kit(c.args, out, err), 2) << c.message;
        EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    }
}

TEST(KitGen, DoesNotOverwriteAFile) {
    testing::TempDir dir;
    dir.write("h.dat", "keep\n");
    std::ostringstream out, err;
    EXPECT_EQ(run_kit({"gen", "henon", "-o", dir.file("h.dat")}, out, err), 2);
    EXPECT_EQ(dir.read("h.dat"), "keep\n");
    EXPECT_EQ(run_kit({"gen", "henon", "-n", "10", "-o", dir.file("new.dat")}, out, err), 0);
    EXPECT_EQ(testing::count_of(dir.read("new.dat"), "\n"), 10);
}

}  // namespace
}  // namespace tarnvex::kit
