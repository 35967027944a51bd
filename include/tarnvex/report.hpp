#pragma once
// One page that shows a whole analysis of a series: the verdict first, the final exponents,
// the figures (the series and its delay portrait, the running estimates, lambda1 against the
// dimension, the delay suggestion, Cao's statistics, the surrogates and the time reversal),
// the parameters of every run and the time each part took. The page is self-contained HTML:
// styles inline, figures as inline SVG drawn by gnuplot, no script and no reference outside
// the page, so it opens the same without a network.
//
// The text blocks of a run (its figures, its verdict, its time-reversal test) are here too:
// `tarnvex-kit run` prints them and the page shows them, from the same functions.
//
// The parts, from pure to effectful:
//   - the text blocks and `report_html`, `spectrum_html`, ...: pure functions of result
//     objects (and of the figures already drawn);
//   - `report_figures`: what each figure shows, as a gnuplot script and its data (pure);
//   - `draw_figures`: runs gnuplot on them (a subprocess, in a temporary folder);
//   - `analyse`: makes every run of the analysis and times it;
//   - `write_report`: puts a page into a new file, never over an existing one.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tarnvex/delay.hpp"
#include "tarnvex/diagnostics.hpp"
#include "tarnvex/series.hpp"
#include "tarnvex/significance.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex {

// The version of the library, "MAJOR.MINOR.PATCH".
std::string_view library_version();

// ------------------------------------------------------------------- text of a run

// A value rounded to two decimals, ties away from zero, as the result file and the kit
// show estimates ("0.60", "-2.25").
std::string fixed2(double v);

// The figures block: per dimension the exponents sorted from the largest, lambda1 with its
// standard error (three significant digits), the sum and the Kaplan-Yorke dimension; then
// the dimension from which lambda1 settles, when it does. Lines end with '\n'.
std::string figures_text(const Diagnosis& d);

// "not checked: code (reason); ..." for the checks that were not made (checks with the same
// reason share one item), or empty.
std::string not_checked_line(const Diagnosis& d);

// The verdict block: "verdict: no warnings", or "verdict: N warnings" and one line per
// warning with its message and advice; then the not-checked line when some check was not
// made.
std::string verdict_text(const Diagnosis& d);

// The time-reversal block: both spectra and the mark of every forward exponent.
std::string reversal_text(const ReverseCheck& c);

// The plain message of a run that counted no step, with what to change.
std::string no_step_text(const Result& r);

// How a series file was read, when a run uses its first `used` samples: "N values, all
// used", or which of them were used and why.
std::string reading_text(const SeriesReading& r, std::int32_t used);

// ------------------------------------------------------------------- the analysis

// What a page is made of, besides the samples: the run's parameters and what else to do.
struct ReportRequest {
    Parameters parameters;
    bool quick = false;      // no runs at half the radius and of the reversed series
    int surrogates = 0;      // IAAFT surrogates of the rank test; 0: no surrogate test
    std::uint64_t seed = 1;  // of the surrogates
    int jobs = 1;            // surrogate runs at a time
};

// The preparation of samples read from a series file and run as read, as a page says it.
inline constexpr std::string_view kPreparationAsRead =
    "none: the file's values as tarnvex reads them (truncated toward zero to integers)";

// What the front-end knows of the series and of itself, shown in the page's header.
struct ReportSource {
    std::string series_name;  // the series file's name, or what the samples are
    std::string reading;      // how the file was read ("3000 values, all used"), or empty
    std::string preparation;  // the scale or preparation, when known, else empty
    std::string command;      // the exact command that makes this page again
    std::string date;         // when the page was made (see `utc_now_text`)
};

// One part of the analysis and the wall-clock time it took, seconds.
struct ReportTiming {
    std::string part;
    double seconds = 0.0;
};

// Every run of an analysis and what was found.
struct Analysis {
    ReportSource source;
    ReportRequest request;
    std::vector<float> samples;  // as given; the run uses the first derived.npts
    Result result;
    Diagnosis diagnosis;
    StepFigures steps;
    std::optional<DelaySuggestion> delay;  // none for fewer than 8 samples
    std::optional<CaoTable> cao;           // at the run's delay (at least 1)
    int cao_samples = 0;                   // the samples Cao's statistics looked at
    std::optional<SurrogateTest> surrogates;
    std::string surrogates_note;  // why no surrogate test was made, when none was
    std::vector<ReportTiming> timings;
};

// Cao's statistics of a page look at this many samples at most, as `tarnvex-kit suggest`.
inline constexpr std::size_t kReportCaoSamples = 4000;

// Runs the analysis: the delay suggestion, Cao's statistics, the run, unless `quick` the
// runs at half the radius and of the reversed series, and the surrogate test when asked
// for (and the run counted a step). Throws ParameterError as run() does. A run that counts
// no step returns normally; the analysis says so (result.counted_steps == 0).
Analysis analyse(std::vector<float> samples, const ReportRequest& request, ReportSource source);

// The present moment as "YYYY-MM-DD HH:MM:SS UTC".
std::string utc_now_text();

// ------------------------------------------------------------------- figures

// One figure of a page: what it shows (its title and a text alternative with its key
// numbers), and how gnuplot draws it (the script, which names its data files by their
// names alone, and their contents).
struct FigurePlan {
    std::string id;     // unique on the page: "running", "portrait", ...
    std::string title;  // a sentence, shown above the figure
    std::string alt;    // the figure in words, with its key numbers
    int width = 760;    // pixels
    int height = 360;
    std::string script;  // after the terminal and output lines, which draw_figures sets
    std::vector<std::pair<std::string, std::string>> data;  // file name, contents
};

// The figures of a page, in the page's order.
std::vector<FigurePlan> report_figures(const Analysis& a);

// The one small figure of a run's summary in a notebook: the running lambda1 of every
// dimension against the samples counted.
FigurePlan convergence_figure(const Result& r, int width, int height);

// A figure as drawn (an inline <svg> element), or why it is not.
struct DrawnFigure {
    std::optional<std::string> svg;
    std::string note;      // empty when drawn
    double seconds = 0.0;  // the time gnuplot took, wall clock
};

// Draws every figure with gnuplot's SVG terminal, in a temporary folder removed afterwards,
// and returns the SVG elements ready to be inlined: no XML prolog, every id prefixed with
// the figure's id (figures share a page), gnuplot's own title and description replaced by
// the figure's. Where gnuplot is not installed or fails, the figure is not drawn and its
// note says why.
std::vector<DrawnFigure> draw_figures(const std::vector<FigurePlan>& figures);

// The full path of gnuplot on PATH, or empty.
std::string gnuplot_path();

// ------------------------------------------------------------------- pages

// The whole page of an analysis with its figures drawn (one per figure of
// report_figures(a), in the same order). Lines that differ between two pages of the same
// analysis (the date, the command, the timings) each stand on one line of their own that
// holds `class="volatile"`.
std::string report_html(const Analysis& a, const std::vector<DrawnFigure>& figures);

// report_html with the figures of report_figures drawn by draw_figures.
std::string report_page(const Analysis& a);

// A run in a notebook: the final exponents as a table, the verdict and, when `draw` and
// gnuplot can draw it, the small convergence figure. A fragment of HTML, not a page.
std::string spectrum_html(const Result& r, const Diagnosis& d, bool draw);
// The surrogate test of every dimension as a table, and its verdict.
std::string surrogates_html(const SurrogateTest& t);
// The time-reversal test: the pairs and their marks.
std::string reversal_html(const ReverseCheck& c);
// Cao's E1 and E2 and the dimension they suggest.
std::string cao_html(const CaoTable& c);

// `s` with the characters HTML gives a meaning escaped (& < > " ').
std::string html_escape(std::string_view s);

// ------------------------------------------------------------------- the file

// Why a page could not be written.
class ReportFileError : public std::runtime_error {
  public:
    enum class Kind { Exists, CannotWrite };
    ReportFileError(Kind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    Kind kind() const noexcept { return kind_; }

  private:
    Kind kind_;
};

// Writes `html` to a new file at `path`: first to a temporary file beside it, which takes
// the name only when it is whole and only when no file of that name exists (never over
// one). Nothing is left behind on failure. Throws ReportFileError.
void write_report(const std::string& path, const std::string& html);

}  // namespace tarnvex
