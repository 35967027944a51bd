// tarnvex-kit table: a result file as a tidy table, one row per reported value.

#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>

#include "kit/commands.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"
#include "kit/result_file.hpp"

namespace tarnvex::kit {

namespace {
std::string number(double v) {
    if (std::isnan(v)) return "NA";  // a value too wide for its field in the result file
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}
}  // namespace

int cmd_table(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const CommandHelp& help = *find_command("table");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    const ResultFile r = read_result_file(o.positional()[0]);
    const std::string sep = o.has("--tsv") ? "\t" : ",";
    if (const std::string note = stopped_note(r); !note.empty()) err << note << "\n";
    if (o.has("--last")) {
        std::map<int, const SpectrumRecord*> last;
        for (const auto& rec : r.records)
            last[rec.dimension] = &rec;
        out << "dimension" << sep << "samples";
        int widest = 0;
        for (const auto& [m, rec] : last)
            widest = std::max(widest, m);
        for (int i = 1; i <= widest; ++i)
            out << sep << "lambda" << i;
        out << "\n";
        for (const auto& [m, rec] : last) {
            out << m << sep << rec->samples;
            for (int i = 0; i < widest; ++i) {
                out << sep << (i < m ? number(rec->estimates[static_cast<std::size_t>(i)]) : "");
            }
            out << "\n";
        }
        return 0;
    }
    out << "samples" << sep << "dimension" << sep << "exponent" << sep << "estimate" << sep
        << "warmup\n";
    for (const auto& rec : r.records) {
        for (std::size_t i = 0; i < rec.estimates.size(); ++i) {
            out << rec.samples << sep << rec.dimension << sep << i + 1 << sep
                << number(rec.estimates[i]) << sep << (rec.warmup ? 1 : 0) << "\n";
        }
    }
    return 0;
}

}  // namespace tarnvex::kit
