// The page of an analysis: its sections in order, the verdict and the numbers as
// `tarnvex-kit run` prints them, the page of a run without a step, escaping, the figures
// gnuplot draws (ids kept apart, nothing outside the page) and the file that is never
// written over.

#include "tarnvex/report.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "support/kit_util.hpp"
#include "support/run_util.hpp"
#include "support/series_util.hpp"

namespace tarnvex {
namespace {

using testing::TempDir;

std::string unescape(std::string s) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities) {
        for (std::size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1))
            s.replace(at, std::string(from).size(), to);
    }
    return s;
}

std::string between(const std::string& s, const std::string& open, const std::string& close) {
    const auto a = s.find(open);
    if (a == std::string::npos) return {};
    const auto b = s.find(close, a + open.size());
    return s.substr(a + open.size(), b - a - open.size());
}

Analysis henon_analysis(const std::string& path, int surrogates, bool quick) {
    ReportRequest q;
    q.parameters.dims = {2, 3};
    q.surrogates = surrogates;
    q.quick = quick;
    q.jobs = 2;
    ReportSource src;
    src.series_name = "h.dat";
    return analyse(read_series(path), q, src);
}

// Figures not drawn: the page is a pure function of the analysis.
std::vector<DrawnFigure> undrawn(const Analysis& a) {
    return std::vector<DrawnFigure>(report_figures(a).size(),
                                    DrawnFigure{std::nullopt, "not drawn", 0.0});
}

TEST(ReportPage, SectionsInOrderWithTheVerdictAndNumbersOfRun) {
    TempDir dir;
    dir.write("h.dat", testing::henon_series(3000));
    const Analysis a = henon_analysis(dir.file("h.dat"), 5, false);
    const std::string page = report_html(a, undrawn(a));
    std::size_t last = 0;
    for (const char* part :
         {"<header>", "id=\"verdict\"", "id=\"exponents\"", "id=\"figures\"", "id=\"fig-series\"",
          "id=\"fig-portrait\"", "id=\"fig-running\"", "id=\"fig-lambda1\"", "id=\"fig-delay\"",
          "id=\"fig-cao\"", "id=\"fig-surrogates\"", "id=\"fig-reversal\"", "id=\"parameters\"",
          "id=\"timings\"", "</html>"}) {
        const auto at = page.find(part);
        ASSERT_NE(at, std::string::npos) << part;
        EXPECT_GT(at, last) << part << " is out of order";
        last = at;
    }

    // The verdict and the figures exactly as run prints them for the same series and options.
    const auto run = testing::call_kit({"run", dir.file("h.dat"), "--dims", "2:3"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto v = run.out.find("verdict: ");
    const auto end = run.out.find("time reversal, dimension");
    ASSERT_NE(v, std::string::npos);
    EXPECT_EQ(unescape(between(page, "<pre class=\"verdict-text\">", "</pre>")),
              run.out.substr(v, end - v));
    // Every dimension's row holds run's sorted exponents and lambda1 with its error.
    const std::regex line(
        R"(  dimension (\d+): ([-0-9. ]+)\n    lambda1 ([-0-9.]+) \+- ([0-9.e-]+), sum ([-0-9.]+), Kaplan-Yorke dimension ([-0-9.]+)\n)");
    std::map<std::string, std::string> samples;  // dimension -> samples counted
    const std::regex final_line(R"(  dimension (\d+) at (\d+) samples:)");
    for (std::sregex_iterator m(run.out.begin(), run.out.end(), final_line), stop; m != stop; ++m)
        samples[(*m)[1]] = (*m)[2];
    int rows = 0;
    for (std::sregex_iterator m(run.out.begin(), run.out.end(), line), stop; m != stop; ++m) {
        const std::string expected = "<tr><td class=\"num\">" + (*m)[1].str() +
                                     "</td><td class=\"num\">" + samples[(*m)[1]] +
                                     "</td><td class=\"num\">" + (*m)[2].str() +
                                     "</td><td class=\"num\">" + (*m)[3].str() + " ± " +
                                     (*m)[4].str() + "</td><td class=\"num\">" + (*m)[5].str() +
                                     "</td><td class=\"num\">" + (*m)[6].str() + "</td></tr>";
        EXPECT_NE(page.find(expected), std::string::npos) << expected;
        ++rows;
    }
    EXPECT_EQ(rows, 2);
    // Figures that could not be drawn are given by their text.
    EXPECT_NE(page.find("<p class=\"missing\">Figure not drawn.</p>"), std::string::npos);
    EXPECT_EQ(page.find("<svg"), std::string::npos);
    EXPECT_NE(page.find("surrogate test</strong> (made for this page, 5 surrogates, seed 1)"),
              std::string::npos);
}

TEST(ReportPage, QuickLeavesOutTheProbesAndSaysSo) {
    TempDir dir;
    dir.write("h.dat", testing::henon_series(3000));
    const Analysis a = henon_analysis(dir.file("h.dat"), 0, true);
    const std::string page = report_html(a, undrawn(a));
    EXPECT_EQ(page.find("id=\"fig-reversal\""), std::string::npos);
    EXPECT_EQ(page.find("id=\"fig-surrogates\""), std::string::npos);
    EXPECT_NE(page.find("Time reversal: not made (--quick"), std::string::npos);
    EXPECT_NE(page.find("Surrogates: no surrogate test was asked for"), std::string::npos);
    EXPECT_NE(page.find("<tr><th scope=\"row\">the run at half the radius</th><td>not made"),
              std::string::npos);
    EXPECT_NE(page.find("(trajectory part only)"), std::string::npos);
}

TEST(ReportPage, ARunWithoutAStepSaysSoPlainly) {
    TempDir dir;
    dir.write("short.dat", testing::henon_series(50));
    const Analysis a = henon_analysis(dir.file("short.dat"), 39, false);
    ASSERT_EQ(a.result.counted_steps, 0);
    EXPECT_FALSE(a.surrogates);
    const std::string page = report_html(a, undrawn(a));
    EXPECT_NE(page.find("NO STEP COUNTED"), std::string::npos);
    EXPECT_NE(page.find(html_escape(no_step_text(a.result))), std::string::npos);
    EXPECT_NE(page.find("no step was counted"), std::string::npos);
    for (const char* absent : {"id=\"exponents\"", "id=\"fig-running\"", "verdict-text"})
        EXPECT_EQ(page.find(absent), std::string::npos) << absent;
    // What needs no step is still shown.
    EXPECT_NE(page.find("id=\"fig-series\""), std::string::npos);
}

TEST(ReportPage, NamesAndCommandsAreEscaped) {
    const struct {
        std::string raw, escaped;
    } cases[] = {
        {"plain.dat", "plain.dat"}, {"a<b>.dat", "a&lt;b&gt;.dat"},
        {"x&y.dat", "x&amp;y.dat"}, {"say \"hi\"", "say &quot;hi&quot;"},
        {"it's", "it&#39;s"},       {"&lt;", "&amp;lt;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(html_escape(c.raw), c.escaped) << c.raw;

    TempDir dir;
    dir.write("h.dat", testing::henon_series(400));
    ReportRequest q;
    q.parameters.dims = {2, 2};
    q.quick = true;
    ReportSource src;
    src.series_name = "<script>alert(1)</script>&\"'.dat";
    src.command = "tarnvex-kit report '<b>'";
    src.date = "now\nand then";
    const Analysis a = analyse(read_series(dir.file("h.dat")), q, src);
    const std::string page = report_html(a, undrawn(a));
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<b>"), std::string::npos);
    EXPECT_NE(page.find("&lt;script&gt;alert(1)&lt;/script&gt;&amp;&quot;&#39;.dat"),
              std::string::npos);
    // A line break in a volatile value stays on its one line.
    EXPECT_NE(page.find("<td>now and then</td></tr>\n"), std::string::npos);
}

// The delay portrait counts every pair of the samples used once.
TEST(ReportFigures, ThePortraitHistogramCountsEveryPair) {
    TempDir dir;
    dir.write("h.dat", testing::henon_series(3000));
    for (const int delay : {1, 3}) {
        ReportRequest q;
        q.parameters.dims = {2, 2};
        q.parameters.delay = delay;
        q.quick = true;
        const Analysis a = analyse(read_series(dir.file("h.dat")), q, {});
        const auto figures = report_figures(a);
        const auto portrait = std::find_if(figures.begin(), figures.end(),
                                           [](const FigurePlan& f) { return f.id == "portrait"; });
        ASSERT_NE(portrait, figures.end());
        ASSERT_EQ(portrait->data.size(), 1u);
        std::istringstream rows(portrait->data[0].second);
        std::string row;
        double pairs = 0.0;
        int lines = 0;
        while (std::getline(rows, row)) {
            std::istringstream cells(row);
            std::string cell;
            int columns = 0;
            while (cells >> cell) {
                ++columns;
                if (cell != "NaN") pairs += std::pow(10.0, std::stod(cell));
            }
            EXPECT_EQ(columns, 100);
            ++lines;
        }
        EXPECT_EQ(lines, 100);
        EXPECT_NEAR(pairs, 3000.0 - delay, 1e-3) << delay;
        EXPECT_NE(portrait->alt.find(std::to_string(3000 - delay) + " pairs"), std::string::npos);
    }
}

// gnuplot's drawings inline: no prolog, the figure's own title and text, ids kept apart
// between figures, and every reference inside the figure.
TEST(ReportFigures, DrawnFiguresKeepTheirIdsApartAndReferNowhereElse) {
    if (gnuplot_path().empty()) GTEST_SKIP() << "gnuplot is not installed";
    TempDir dir;
    dir.write("h.dat", testing::henon_series(3000));
    const Analysis a = henon_analysis(dir.file("h.dat"), 3, false);
    const auto plans = report_figures(a);
    const auto drawn = draw_figures(plans);
    ASSERT_EQ(drawn.size(), plans.size());
    std::set<std::string> all_ids;
    const std::regex id_attr(R"( id=['"]([^'"]+)['"])");
    const std::regex ref(R"((?:href|xlink:href)=['"]([^'"]*)['"]|url\(([^)]*)\))");
    for (std::size_t i = 0; i < plans.size(); ++i) {
        ASSERT_TRUE(drawn[i].svg) << plans[i].id << ": " << drawn[i].note;
        const std::string& svg = *drawn[i].svg;
        EXPECT_EQ(svg.rfind("<svg", 0), 0u) << plans[i].id;
        EXPECT_EQ(svg.find("<?xml"), std::string::npos);
        EXPECT_EQ(svg.find("<script"), std::string::npos);
        EXPECT_NE(
            svg.find("<title id=\"" + plans[i].id + "-title\">" + html_escape(plans[i].title)),
            std::string::npos);
        EXPECT_NE(svg.find(html_escape(plans[i].alt)), std::string::npos);
        std::set<std::string> ids;
        for (std::sregex_iterator m(svg.begin(), svg.end(), id_attr), stop; m != stop; ++m) {
            const std::string id = (*m)[1];
            EXPECT_EQ(id.rfind(plans[i].id + "-", 0), 0u) << id;
            EXPECT_TRUE(all_ids.insert(id).second) << id << " is on two figures";
            ids.insert(id);
        }
        for (std::sregex_iterator m(svg.begin(), svg.end(), ref), stop; m != stop; ++m) {
            const std::string target = (*m)[1].matched ? (*m)[1].str() : (*m)[2].str();
            if (target.rfind("data:", 0) == 0) continue;
            ASSERT_EQ(target.rfind('#', 0), 0u) << plans[i].id << " refers to " << target;
            EXPECT_EQ(ids.count(target.substr(1)), 1u) << plans[i].id << ": " << target;
        }
    }
}

// Without gnuplot on the PATH every figure is given by its text, with a note that says why.
TEST(ReportFigures, WithoutGnuplotEveryFigureIsItsText) {
    TempDir dir;
    dir.write("h.dat", testing::henon_series(600));
    const Analysis a = henon_analysis(dir.file("h.dat"), 0, true);
    const char* path = std::getenv("PATH");
    const std::string saved = path != nullptr ? path : "";
    ::setenv("PATH", dir.path().c_str(), 1);
    const std::string nowhere = gnuplot_path();
    const auto drawn = draw_figures(report_figures(a));
    const std::string page = report_page(a);
    ::setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(nowhere, "");
    ASSERT_EQ(drawn.size(), report_figures(a).size());
    for (const auto& d : drawn) {
        EXPECT_FALSE(d.svg);
        EXPECT_NE(d.note.find("gnuplot is not installed"), std::string::npos) << d.note;
    }
    EXPECT_EQ(page.find("<svg"), std::string::npos);
    for (const auto& f : report_figures(a))
        EXPECT_NE(page.find("<figcaption>" + html_escape(f.alt) + "</figcaption>"),
                  std::string::npos)
            << f.id;
}

TEST(ReportFile, WrittenOnceAndNothingLeftBehind) {
    TempDir dir;
    const auto listing = [&] {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.insert(e.path().filename().string());
        return names;
    };
    write_report(dir.file("r.html"), "<p>first</p>\n");
    EXPECT_EQ(dir.read("r.html"), "<p>first</p>\n");
    const struct {
        std::string path;
        ReportFileError::Kind kind;
    } refusals[] = {
        {dir.file("r.html"), ReportFileError::Kind::Exists},
        {dir.file("no/such/folder/r.html"), ReportFileError::Kind::CannotWrite},
    };
    for (const auto& r : refusals) {
        try {
            write_report(r.path, "<p>second</p>\n");
            ADD_FAILURE() << r.path << " was written";
        } catch (const ReportFileError& e) {
            EXPECT_EQ(e.kind(), r.kind) << e.what();
        }
    }
    EXPECT_EQ(dir.read("r.html"), "<p>first</p>\n");
    EXPECT_EQ(listing(), std::set<std::string>{"r.html"});
}

}  // namespace
}  // namespace tarnvex
