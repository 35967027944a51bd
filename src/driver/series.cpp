#include "driver/series.hpp"

namespace tarnvex::driver {

int read_series(textio::RecordSource& src, Series& s) {
    s.x.fill(SENTINEL);
    const textio::ReadStatus status = textio::read_free(src, std::span<float>(s.x));
    s.ndata = 0;
    for (std::int32_t i = NMAX; i >= 1; --i) {
        if (s.x[static_cast<std::size_t>(i - 1)] != SENTINEL) {
            s.ndata = i;
            break;
        }
    }
    switch (status) {
        case textio::ReadStatus::SyntaxError:
            return static_cast<int>(textio::Fatal::SyntaxError);
        case textio::ReadStatus::ConversionError:
            return static_cast<int>(textio::Fatal::ConversionError);
        default:
            return 0;  // the end of the file only ends the read
    }
}

void load_series(textio::SeriesFile& file, textio::RecordWriter& console, Series& s) {
    console.write_free({"data read ..."});
    const int report = read_series(file, s);
    if (report != 0) {
        throw textio::FatalError{static_cast<textio::Fatal>(report), textio::kSeriesChannel,
                                 file.path()};
    }
    file.close();
    console.write_free({"data read over, ndata =", s.ndata});
}

}  // namespace tarnvex::driver
