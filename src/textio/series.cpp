#include "textio/series.hpp"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tarnvex/tarnvex.hpp"
#include "textio/channels.hpp"

namespace tarnvex::textio {

ReadStatus read_series(RecordSource& src, SampleTable& s, BadValue* bad) {
    s.x.fill(SENTINEL);
    const ReadStatus status = read_free(src, std::span<float>(s.x), bad);
    s.ndata = 0;
    for (std::int32_t i = NMAX; i >= 1; --i) {
        if (s.x[static_cast<std::size_t>(i - 1)] != SENTINEL) {
            s.ndata = i;
            break;
        }
    }
    return status;
}

}  // namespace tarnvex::textio

namespace tarnvex {

std::vector<float> read_series(const std::string& path) {
    textio::SeriesFile file;
    const auto table = std::make_unique<textio::SampleTable>();
    try {
        file.open_existing("", std::filesystem::absolute(path).string());
    } catch (const textio::FatalError& e) {
        throw SeriesError(path + ": " + std::string(textio::fatal_message(e.number)));
    }
    textio::BadValue bad;
    const textio::ReadStatus status = textio::read_series(file, *table, &bad);
    if (status == textio::ReadStatus::SyntaxError ||
        status == textio::ReadStatus::ConversionError) {
        throw SeriesError(path + ", line " + std::to_string(bad.record) + ", column " +
                          std::to_string(bad.column) + ": '" + bad.text +
                          "' is not a finite number");
    }
    const auto s = table->samples();
    return std::vector<float>(s.begin(), s.end());
}

}  // namespace tarnvex
