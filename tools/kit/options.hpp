#pragma once
// Command-line options of the companion tool: "--name value" pairs and positionals.

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnvex::kit {

// The kit's exit statuses.
inline constexpr int kStatusOk = 0;         // the run worked (warnings or not)
inline constexpr int kStatusFile = 1;       // the series or a file could not be read or written
inline constexpr int kStatusUsage = 2;      // a usage error, or parameters the checks refuse
inline constexpr int kStatusNoSteps = 3;    // the run counted no step
inline constexpr int kStatusWarnings = 4;   // warnings, under --strict
inline constexpr int kStatusStopped = 130;  // stopped by an interrupt (Ctrl-C)

// A failure with a message for the user; the tool prints it and exits with its status.
class KitError : public std::runtime_error {
  public:
    KitError(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

  private:
    int status_;
};

// A refusal of the command line or of the parameters (status 2).
struct UsageError : KitError {
    explicit UsageError(const std::string& message) : KitError(kStatusUsage, message) {}
};

// A file that cannot be read or written (status 1).
struct FileError : KitError {
    explicit FileError(const std::string& message) : KitError(kStatusFile, message) {}
};

struct CommandHelp;

class Options {
  public:
    // Splits args by the options a command's help lists.
    Options(const std::vector<std::string>& args, const CommandHelp& command);
    // Splits args into positionals and options; `flags` take no value.
    Options(const std::vector<std::string>& args, const std::vector<std::string>& valued,
            const std::vector<std::string>& flags);

    const std::vector<std::string>& positional() const { return positional_; }
    bool has(const std::string& name) const { return values_.count(name) != 0; }
    std::optional<std::string> get(const std::string& name) const;
    long get_long(const std::string& name, long fallback, long min, long max) const;
    double get_double(const std::string& name, double fallback) const;

  private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> values_;
};

// The refusal of a command line that lacks its arguments: the command's synopsis.
[[noreturn]] void throw_usage(const CommandHelp& command);

long parse_long(const std::string& text, const std::string& what, long min, long max);
double parse_double(const std::string& text, const std::string& what);

}  // namespace tarnvex::kit
