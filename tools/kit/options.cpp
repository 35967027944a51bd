#include "kit/options.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "kit/help.hpp"

namespace tarnvex::kit {

Options::Options(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                 const std::vector<std::string>& flags) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 1 && a[0] == '-' &&
            !(a.size() > 1 && (std::isdigit(static_cast<unsigned char>(a[1])) || a[1] == '.'))) {
            if (std::find(flags.begin(), flags.end(), a) != flags.end()) {
                values_[a] = "";
            } else if (std::find(valued.begin(), valued.end(), a) != valued.end()) {
                if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
                values_[a] = args[++i];
            } else {
                throw UsageError("unknown option " + a);
            }
        } else {
            positional_.push_back(a);
        }
    }
}

Options::Options(const std::vector<std::string>& args, const CommandHelp& command)
    : Options(args, valued_options(command), flag_options(command)) {}

void throw_usage(const CommandHelp& c) {
    std::string s = "usage: tarnvex-kit " + c.name + " " + c.arguments;
    for (const auto& o : c.options)
        s += " [" + o.name + (o.value.empty() ? "" : " " + o.value) + "]";
    throw UsageError(s + "\n(tarnvex-kit help " + c.name + " explains every option)");
}

std::optional<std::string> Options::get(const std::string& name) const {
    const auto it = values_.find(name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

long parse_long(const std::string& text, const std::string& what, long min, long max) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < min || v > max) {
        throw UsageError(what + " must be a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + text + "'");
    }
    return v;
}

double parse_double(const std::string& text, const std::string& what) {
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v)) {
        throw UsageError(what + " must be a finite number, not '" + text + "'");
    }
    return v;
}

long Options::get_long(const std::string& name, long fallback, long min, long max) const {
    const auto v = get(name);
    return v ? parse_long(*v, name, min, max) : fallback;
}

double Options::get_double(const std::string& name, double fallback) const {
    const auto v = get(name);
    return v ? parse_double(*v, name) : fallback;
}

}  // namespace tarnvex::kit
