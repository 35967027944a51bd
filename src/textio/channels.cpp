#include "textio/channels.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <istream>
#include <ostream>

namespace tarnvex::textio {

std::string_view fatal_message(Fatal n) {
    switch (n) {
        case Fatal::PermissionDenied:
            return "permission to access file denied";
        case Fatal::ExistingFile:
            return "cannot overwrite existing file";
        case Fatal::EndOfFile:
            return "end-of-file during read";
        case Fatal::FileNotFound:
            return "file not found";
        case Fatal::OpenFailure:
            return "open failure";
        case Fatal::BadFileName:
            return "file name specification error";
        case Fatal::SyntaxError:
            return "list-directed I/O syntax error";
        case Fatal::ConversionError:
            return "input conversion error";
    }
    return "open failure";
}

namespace {

// The report number of a failed open, from the system's error.
Fatal open_failure(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return Fatal::FileNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return Fatal::PermissionDenied;
        case ENAMETOOLONG:
        case EINVAL:
        case EILSEQ:
            return Fatal::BadFileName;
        case EEXIST:
            return Fatal::ExistingFile;
        default:
            return Fatal::OpenFailure;
    }
}

Fatal read_failure(ReadStatus s) {
    switch (s) {
        case ReadStatus::SyntaxError:
            return Fatal::SyntaxError;
        case ReadStatus::ConversionError:
            return Fatal::ConversionError;
        default:
            return Fatal::EndOfFile;
    }
}

// Checks the name for what the system cannot take as a file name.
void check_name(std::string_view trimmed, int channel, const std::string& path) {
    if (trimmed.empty() || trimmed.find('\0') != std::string_view::npos) {
        throw FatalError{Fatal::BadFileName, channel, path};
    }
}

void write_all(int fd, std::string_view data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nothing more can be done for a failing disk; the run goes on
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

std::string fatal_report_line(const FatalError& e) {
    char head[64];
    std::snprintf(head, sizeof head, "dralum: severe (%d): ", static_cast<int>(e.number));
    std::string line(head);
    line.append(fatal_message(e.number));
    line.append(", unit ");
    line.append(std::to_string(e.channel));
    line.append(", file ");
    line.append(e.path);
    line.push_back('\n');
    return line;
}

// ---- console ----

void ConsoleOut::emit(std::string_view records) {
    os_.write(records.data(), static_cast<std::streamsize>(records.size()));
    os_.flush();
}

void ConsoleOut::flush() {
    os_.flush();
}

bool ConsoleIn::next_record(std::string_view& record) {
    out_.flush();
    if (!std::getline(is_, line_)) return false;
    // A carriage return directly before the line feed is not part of the record.
    if (!is_.eof() && !line_.empty() && line_.back() == '\r') line_.pop_back();
    record = line_;
    return true;
}

void ConsoleIn::read_values(std::span<const Target> targets) {
    const ReadStatus s = read_free(*this, targets);
    if (s != ReadStatus::Ok) {
        throw FatalError{read_failure(s), kConsoleRead, std::string(kStdinName)};
    }
}

std::string ConsoleIn::read_name(int width) {
    std::string name;
    if (!read_edited_text(*this, width, name)) {
        throw FatalError{Fatal::EndOfFile, kNameRead, std::string(kStdinName)};
    }
    return name;
}

// ---- names ----

std::string trim_file_name(std::string_view name) {
    std::size_t end = name.size();
    while (end > 0 && name[end - 1] == ' ')
        --end;
    return std::string(name.substr(0, end));
}

std::string full_path(std::string_view cwd, std::string_view name) {
    if (!name.empty() && name.front() == '/') return std::string(name);
    std::string p(cwd);
    if (p.empty() || p.back() != '/') p.push_back('/');
    p.append(name);
    return p;
}

// ---- series file ----

SeriesFile::~SeriesFile() {
    close();
}

void SeriesFile::open_existing(std::string_view cwd, std::string_view name) {
    const std::string trimmed = trim_file_name(name);
    path_ = full_path(cwd, trimmed);
    check_name(trimmed, kSeriesChannel, path_);
    // Non-blocking, so that a named pipe without a writer does not hold the run.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw FatalError{open_failure(errno), kSeriesChannel, path_};
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw FatalError{Fatal::OpenFailure, kSeriesChannel, path_};
    }
    // Reads block again once open: a pipe delivers what its writer sends, then its end.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    buf_.clear();
    pos_ = 0;
    eof_ = false;
}

void SeriesFile::rewind() {
    if (fd_ < 0) return;
    ::lseek(fd_, 0, SEEK_SET);
    buf_.clear();
    pos_ = 0;
    eof_ = false;
}

void SeriesFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool SeriesFile::fill() {
    if (eof_ || fd_ < 0) return false;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd_, chunk, sizeof chunk);
        if (n > 0) {
            buf_.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        // End of the file, or a read the system refuses: either ends the data.
        eof_ = true;
        return false;
    }
}

bool SeriesFile::next_record(std::string_view& record) {
    std::size_t scanned = pos_;
    for (;;) {
        // A NUL byte can belong to no value: the read stops at it with its report (or is
        // over before), so the record can end there. This keeps an endless source of such
        // bytes (a device) from being gathered into one endless line.
        const std::size_t end = buf_.find_first_of(std::string_view("\n\0", 2), scanned);
        if (end != std::string::npos && buf_[end] == '\0') {
            record = std::string_view(buf_).substr(pos_, end + 1 - pos_);
            pos_ = end + 1;
            return true;
        }
        if (end != std::string::npos) {
            std::size_t p = pos_;
            split_record(std::string_view(buf_).substr(0, end + 1), p, record);
            pos_ = end + 1;
            return true;
        }
        // No complete line left: drop what earlier records consumed and read on.
        buf_.erase(0, pos_);
        pos_ = 0;
        scanned = buf_.size();
        if (!fill()) break;
    }
    if (pos_ >= buf_.size()) return false;
    record = std::string_view(buf_).substr(pos_);  // a last line without line end
    pos_ = buf_.size();
    return true;
}

// ---- result file ----

ResultFile::~ResultFile() {
    close();
}

void ResultFile::open_new(std::string_view cwd, std::string_view name) {
    const std::string trimmed = trim_file_name(name);
    path_ = full_path(cwd, trimmed);
    check_name(trimmed, kResultChannel, path_);
    // Created exclusively: an existing file of that name is never touched.
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) throw FatalError{open_failure(errno), kResultChannel, path_};
    fd_ = fd;
}

void ResultFile::rewind() {
    if (fd_ >= 0) ::lseek(fd_, 0, SEEK_SET);
}

void ResultFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void ResultFile::emit(std::string_view records) {
    if (fd_ >= 0) write_all(fd_, records);
}

}  // namespace tarnvex::textio
