// A page into a new file: written whole under a temporary name beside the target, which
// takes the target's name only when no file of that name exists.

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "tarnvex/report.hpp"

namespace tarnvex {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void cannot_write(const std::string& path, int error) {
    throw ReportFileError(ReportFileError::Kind::CannotWrite,
                          "cannot write " + path + ": " + std::strerror(error));
}

}  // namespace

void write_report(const std::string& path, const std::string& html) {
    if (fs::exists(fs::symlink_status(path)))
        throw ReportFileError(ReportFileError::Kind::Exists,
                              path + " exists; it is not overwritten");
    const fs::path target(path);
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    // A hidden name of this process's own beside the target, created exclusively (with the
    // permissions the umask gives a new file).
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = (dir / ("." + target.filename().string() + "." + std::to_string(::getpid()) +
                            "." + std::to_string(counter++) + ".partial"))
                        .string();
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) cannot_write(path, errno);
    }
    if (fd < 0) cannot_write(path, EEXIST);
    std::size_t done = 0;
    while (done < html.size()) {
        const ssize_t n = ::write(fd, html.data() + done, html.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            cannot_write(path, error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        cannot_write(path, error);
    }
    // A hard link never replaces a file made meanwhile.
    if (::link(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        if (error == EEXIST) {
            throw ReportFileError(ReportFileError::Kind::Exists,
                                  path + " exists; it is not overwritten");
        }
        cannot_write(path, error);
    }
    ::unlink(temporary.c_str());
}

}  // namespace tarnvex
