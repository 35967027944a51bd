#pragma once
// Command-line options of the companion tool: "--name value" pairs and positionals.

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnvex::kit {

// A refusal with a message for the user; the tool prints it and exits with status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class Options {
  public:
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

long parse_long(const std::string& text, const std::string& what, long min, long max);
double parse_double(const std::string& text, const std::string& what);

}  // namespace tarnvex::kit
