#pragma once
// Whole runs in process: a fresh folder with a series file, the answers as standard input.

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "program/run.hpp"
#include "tarnvex/systems.hpp"
#include "textio/reader.hpp"
#include "textio/series.hpp"

namespace tarnvex::testing {

// A temporary folder removed at the end of the test.
class TempDir {
  public:
    TempDir() {
        char tmpl[] = "/tmp/tarnvex-test-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name), std::ios::binary) << text;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(file(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

  private:
    std::string path_;
};

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

inline RunResult run_in(const TempDir& dir, const std::string& answers) {
    std::istringstream in(answers);
    std::ostringstream out;
    std::ostringstream err;
    const int status = program::run(in, out, err, dir.path());
    return {status, out.str(), err.str()};
}

// The Henon map (a = 1.4, b = 0.3) after a transient of 100, x scaled by 10000 and
// truncated.
inline std::string henon_series(int n) {
    return series_text(generate(*find_system("henon"), n, 100, 1.0), 10000.0);
}

// The same samples as floats, without the text in between (long series).
inline std::vector<float> henon_samples(long n) {
    const std::vector<double> v = generate(*find_system("henon"), n, 100, 1.0);
    std::vector<float> x(v.size());
    for (std::size_t i = 0; i < v.size(); ++i)
        x[i] = static_cast<float>(std::trunc(v[i] * 10000.0));
    return x;
}

// Blocks of ten doublings: sample (b, t) = (5000 + b) * 2^t for b = 0..39, t = 0..9. In
// two dimensions with delay 1 the displacements within a block lie on one line, so the
// covariance of dimension 2 stays singular until the radius takes in other blocks.
inline std::string doubling_blocks() {
    std::string s;
    for (long b = 0; b < 40; ++b) {
        for (int t = 0; t < 10; ++t)
            s += std::to_string((5000 + b) << t) + "\n";
    }
    return s;
}

// The samples of a series text, read as the program reads a series file.
inline std::vector<float> samples_of(const std::string& text) {
    const auto table = std::make_unique<textio::SampleTable>();
    textio::StringSource src(text);
    textio::read_series(src, *table);
    const auto s = table->samples();
    return std::vector<float>(s.begin(), s.end());
}

inline int count_of(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

}  // namespace tarnvex::testing
