#include "kit/result_file.hpp"

#include "kit/files.hpp"
#include "kit/options.hpp"

namespace tarnvex::kit {

ResultFile read_result_file(const std::string& path) {
    ResultFile r;
    try {
        static_cast<tarnvex::ResultFileContents&>(r) =
            tarnvex::parse_result_file(read_whole_file(path));
    } catch (const tarnvex::ResultFileError& e) {
        throw UsageError(e.what());
    }
    const std::string suffix = ".partial";
    r.stopped = path.size() > suffix.size() &&
                path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
    return r;
}

std::string stopped_note(const ResultFile& r) {
    if (!r.stopped) return {};
    long samples = 0;
    for (const auto& rec : r.records)
        if (!rec.warmup) samples = static_cast<long>(rec.samples);
    const long steps = r.evolv > 0 ? samples / static_cast<long>(r.evolv) : samples;
    return "stopped after " + std::to_string(steps) + " steps: running estimates, not final ones";
}

}  // namespace tarnvex::kit
