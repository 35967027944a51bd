#include "kit/session.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "kit/commands.hpp"
#include "kit/options.hpp"

namespace tarnvex::kit {

namespace fs = std::filesystem;

std::string answers_of(const RunParams& p) {
    char dt[64], pct[64];
    std::snprintf(dt, sizeof dt, "%.9g", p.dt);
    std::snprintf(pct, sizeof pct, "%.9g", p.radius_pct);
    std::ostringstream a;
    a << p.npts << ' ' << p.ncube << ' ' << p.tmax << ' ' << p.delay << ' ' << p.mfrom << ' '
      << p.mto << '\n'
      << p.start << '\n'
      << dt << '\n'
      << p.evolv << '\n'
      << pct << '\n';
    return a.str();
}

TranscriptSummary summarize_transcript(const std::string& transcript, long tmax) {
    TranscriptSummary s;
    std::istringstream lines(transcript);
    std::string line;
    long ngrow_sum = 0, nn_sum = 0;
    bool pending_mtrinv = false;  // an mtrinv line that a householder line may claim
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == " householder: mtrinv: matrix singular") {
            pending_mtrinv = false;  // that mtrinv line belonged to the orthonormalisation
            ++s.singular_orthonormalisation;
            continue;
        }
        if (pending_mtrinv) ++s.singular_covariance;
        pending_mtrinv = false;
        if (line == " mtrinv: matrix singular") {
            pending_mtrinv = true;
        } else if (line == " householder: matrix singular") {
            ++s.singular_orthonormalisation;
        } else if (line == "  - ,") {
            ++s.given_up;
        } else if (line.size() == 9 && line[0] == ' ' && line[1] == '(' && line[4] == ')' &&
                   line[8] == ',') {
            const long ngrow = std::strtol(line.substr(2, 2).c_str(), nullptr, 10);
            const long nn = std::strtol(line.substr(5, 3).c_str(), nullptr, 10);
            ++s.progress_records;
            ngrow_sum += ngrow;
            nn_sum += nn;
            if (ngrow > s.max_ngrow) s.max_ngrow = ngrow;
        } else if (line.rfind(" jmax=", 0) == 0) {
            s.shortfall.push_back(line.substr(1));
            s.reached_tmax = false;
        } else if (line.rfind(" nur", 0) == 0 &&
                   line.find("pts. genuegen den bedingungen") != std::string::npos) {
            s.shortfall.push_back(line.substr(1));
            s.counted = std::strtol(line.substr(4, 12).c_str(), nullptr, 10);
        }
    }
    if (pending_mtrinv) ++s.singular_covariance;
    if (s.reached_tmax) s.counted = tmax;
    if (s.progress_records > 0) {
        s.mean_ngrow = static_cast<double>(ngrow_sum) / static_cast<double>(s.progress_records);
        s.mean_neighbours = static_cast<double>(nn_sum) / static_cast<double>(s.progress_records);
    }
    return s;
}

std::string find_tarnvex(const std::string& explicit_path) {
    if (!explicit_path.empty()) {
        if (::access(explicit_path.c_str(), X_OK) != 0)
            throw UsageError("cannot run " + explicit_path);
        return explicit_path;
    }
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path beside = self.parent_path() / "tarnvex";
        if (::access(beside.c_str(), X_OK) == 0) return beside.string();
    }
    const std::string on_path = find_on_path("tarnvex");
    if (on_path.empty())
        throw UsageError("tarnvex was found neither beside tarnvex-kit nor on PATH");
    return on_path;
}

std::string fresh_result_name(const std::string& series) {
    const fs::path s(series);
    for (int n = 1; n < 100000; ++n) {
        const fs::path candidate =
            s.parent_path() / (s.stem().string() + "." + std::to_string(n) + ".out");
        if (!fs::exists(candidate)) return candidate.string();
    }
    throw UsageError("no fresh result file name next to " + series);
}

namespace {

std::string read_all(int fd) {
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return out;
        }
    }
}

// Runs `program` in `dir` with `input` on its standard input; fills the two outputs.
int run_child(const std::string& program, const std::string& dir, const std::string& input,
              std::string& out, std::string& err) {
    int in_pipe[2], out_pipe[2], err_pipe[2];
    if (::pipe(in_pipe) != 0 || ::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) {
        throw UsageError("cannot create pipes");
    }
    const pid_t pid = ::fork();
    if (pid < 0) throw UsageError("cannot start " + program);
    if (pid == 0) {
        ::dup2(in_pipe[0], 0);
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        for (int fd : {in_pipe[0], in_pipe[1], out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
            ::close(fd);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(in_pipe[0]);
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    // The answers are far smaller than a pipe holds: written whole before reading.
    std::size_t done = 0;
    while (done < input.size()) {
        const ssize_t n = ::write(in_pipe[1], input.data() + done, input.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(in_pipe[1]);
    out = read_all(out_pipe[0]);
    err = read_all(err_pipe[0]);
    ::close(out_pipe[0]);
    ::close(err_pipe[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

// A name the program can read: the file's own name when it fits 20 characters.
std::string short_name(const fs::path& p, const std::string& fallback) {
    const std::string name = p.filename().string();
    if (name.size() <= 20 && name.find_first_not_of(' ') != std::string::npos && name.back() != ' ')
        return name;
    return fallback;
}

}  // namespace

RunOutcome run_tarnvex(const std::string& program, const std::string& series,
                       const std::string& result, const RunParams& p) {
    if (!fs::exists(series)) throw UsageError("no series file " + series);
    if (fs::exists(result))
        throw UsageError(result + " exists; a result file is never overwritten");
    // The working folder lies beside the result, on the same file system, so that the
    // result can be linked into place.
    const fs::path parent = fs::absolute(result).parent_path();
    std::string tmpl = (parent / ".tarnvex-run-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        throw UsageError("cannot create a working folder in " + parent.string());
    const fs::path dir(tmpl);
    const std::string series_name = short_name(series, "series.dat");
    std::string result_name = short_name(result, "result.out");
    if (result_name == series_name) result_name = "result.out";
    fs::create_symlink(fs::absolute(series), dir / series_name);

    RunOutcome o;
    o.status =
        run_child(program, dir.string(), series_name + "\n" + result_name + "\n" + answers_of(p),
                  o.transcript, o.errors);
    const fs::path produced = dir / result_name;
    if (fs::exists(produced)) {
        // link() creates the name only if it does not exist: never overwriting.
        if (::link(produced.c_str(), result.c_str()) != 0) {
            const std::string why = std::strerror(errno);
            fs::remove_all(dir);
            throw UsageError("cannot place the result file at " + result + ": " + why);
        }
        o.result_path = result;
    }
    fs::remove_all(dir);
    return o;
}

}  // namespace tarnvex::kit
