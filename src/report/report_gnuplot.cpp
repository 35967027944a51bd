// The figures drawn by gnuplot's SVG terminal: one gnuplot process per figure, in a folder
// of its own under a temporary folder that is removed afterwards.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "tarnvex/report.hpp"

namespace tarnvex {

namespace fs = std::filesystem;

namespace {

// The terminal of every figure: plain text (no markup in names), a white background, and
// neither mouse nor standalone options, which would add a script and references to
// gnuplot's own files.
std::string terminal_lines(const FigurePlan& f) {
    return "set terminal svg size " + std::to_string(f.width) + "," + std::to_string(f.height) +
           " noenhanced font 'sans,11' background '#ffffff'\nset output 'figure.svg'\n";
}

// Runs `program` with `script` in `dir`, its input from /dev/null and its output and
// errors into dir/gnuplot.log; the exit status, or -1 when it did not exit.
int run_in(const std::string& program, const std::string& dir, const std::string& script) {
    const std::string log = dir + "/gnuplot.log";
    std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(script.c_str()),
                            nullptr};
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        // Only calls that are safe between fork and exec.
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// Every id of the SVG and every reference to one ("#id" in quotes or in url(...)) with
// `prefix` in front, so that the figures of one page keep their ids apart.
std::string prefix_ids(const std::string& svg, const std::string& prefix) {
    std::set<std::string> ids;
    for (std::size_t at = svg.find("id="); at != std::string::npos; at = svg.find("id=", at + 3)) {
        if (at == 0 || svg[at - 1] != ' ' || at + 4 >= svg.size()) continue;
        const char quote = svg[at + 3];
        if (quote != '\'' && quote != '"') continue;
        const std::size_t end = svg.find(quote, at + 4);
        if (end != std::string::npos) ids.insert(svg.substr(at + 4, end - at - 4));
    }
    // gnuplot draws an opaque key's entries twice, under the same ids: the second and later
    // of the same id get a count (references, which only name definitions, keep the first).
    std::map<std::string, int> seen;
    std::string out;
    out.reserve(svg.size() + 64 * ids.size());
    for (std::size_t i = 0; i < svg.size(); ++i) {
        if (i > 0 && svg[i - 1] == ' ' && svg.compare(i, 3, "id=") == 0 && i + 3 < svg.size() &&
            (svg[i + 3] == '\'' || svg[i + 3] == '"')) {
            const std::size_t end = svg.find(svg[i + 3], i + 4);
            const std::string name = svg.substr(i + 4, end - i - 4);
            const int n = ++seen[name];
            out += svg.substr(i, 4) + prefix + "-" + name + (n > 1 ? "-" + std::to_string(n) : "");
            i = end - 1;
            continue;
        }
        if (svg[i] == '#') {
            std::size_t end = i + 1;
            while (end < svg.size() && name_char(svg[end]))
                ++end;
            const std::string name = svg.substr(i + 1, end - i - 1);
            if (end < svg.size() && (svg[end] == '\'' || svg[end] == '"' || svg[end] == ')') &&
                ids.count(name) != 0) {
                out += "#" + prefix + "-" + name;
                i = end - 1;
                continue;
            }
        }
        out += svg[i];
    }
    return out;
}

// gnuplot's SVG as an element to inline: from <svg on, its title and description the
// figure's, labelled for assistive technology by them.
std::optional<std::string> inline_svg(const std::string& file, const FigurePlan& f) {
    const std::size_t start = file.find("<svg");
    if (start == std::string::npos) return std::nullopt;
    std::string svg = prefix_ids(file.substr(start), f.id);
    const std::size_t title_at = svg.find("<title>");
    const std::size_t desc_end = svg.find("</desc>");
    const std::string own = "<title id=\"" + f.id + "-title\">" + html_escape(f.title) +
                            "</title>\n<desc id=\"" + f.id + "-desc\">" + html_escape(f.alt) +
                            "</desc>";
    if (title_at != std::string::npos && desc_end != std::string::npos && desc_end > title_at) {
        svg.replace(title_at, desc_end + 7 - title_at, own);
    } else {
        svg.insert(svg.find('>') + 1, "\n" + own);
    }
    svg.insert(4, " role=\"img\" aria-labelledby=\"" + f.id + "-title " + f.id + "-desc\"");
    while (!svg.empty() && (svg.back() == '\n' || svg.back() == ' '))
        svg.pop_back();
    return svg;
}

}  // namespace

std::string gnuplot_path() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (dir.empty()) continue;
        const std::string candidate = dir + "/gnuplot";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

std::vector<DrawnFigure> draw_figures(const std::vector<FigurePlan>& figures) {
    std::vector<DrawnFigure> drawn(figures.size());
    const std::string gnuplot = gnuplot_path();
    if (gnuplot.empty()) {
        for (auto& d : drawn)
            d.note = "not drawn: gnuplot is not installed (on Debian: apt-get install gnuplot-nox)";
        return drawn;
    }
    const fs::path base = fs::temp_directory_path() / "tarnvex-report-XXXXXX";
    std::string tmpl = base.string();
    if (::mkdtemp(tmpl.data()) == nullptr) {
        for (auto& d : drawn)
            d.note = "not drawn: no temporary folder for gnuplot";
        return drawn;
    }
    const std::string root = tmpl;
    try {
        for (std::size_t i = 0; i < figures.size(); ++i) {
            const FigurePlan& f = figures[i];
            const std::string dir = root + "/" + std::to_string(i);
            fs::create_directory(dir);
            for (const auto& [name, text] : f.data)
                std::ofstream(dir + "/" + name, std::ios::binary) << text;
            std::ofstream(dir + "/figure.gp", std::ios::binary)
                << terminal_lines(f) << f.script << "set output\n";
            const auto t0 = std::chrono::steady_clock::now();
            const int status = run_in(gnuplot, dir, "figure.gp");
            drawn[i].seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            const std::string svg = read_file(dir + "/figure.svg");
            if (status == 0 && !svg.empty()) drawn[i].svg = inline_svg(svg, f);
            if (!drawn[i].svg) {
                std::string log = read_file(dir + "/gnuplot.log");
                while (!log.empty() && (log.back() == '\n' || log.back() == ' '))
                    log.pop_back();
                const std::size_t last = log.rfind('\n');
                drawn[i].note =
                    "not drawn: gnuplot failed (status " + std::to_string(status) +
                    (log.empty() ? ")"
                                 : "): " + log.substr(last == std::string::npos ? 0 : last + 1));
            }
        }
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(root, ignored);
        throw;
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return drawn;
}

}  // namespace tarnvex
