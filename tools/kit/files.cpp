#include "kit/files.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "kit/options.hpp"

namespace tarnvex::kit {

std::string read_whole_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError("cannot read " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void write_new_file(const std::string& path, const std::string& text) {
    // Created exclusively: an existing file of that name is never touched.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == EEXIST) throw UsageError(path + " exists; it is not overwritten");
        throw FileError("cannot write " + path + ": " + std::strerror(errno));
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string why = std::strerror(errno);
            ::close(fd);
            throw FileError("cannot write " + path + ": " + why);
        }
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

}  // namespace tarnvex::kit
