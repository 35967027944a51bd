// tarnvex-kit gen: a ready series file from a system with known exponents.

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "kit/commands.hpp"
#include "kit/files.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"
#include "kit/systems.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::kit {

std::string system_series(std::string_view name, long samples) {
    const SystemInfo& s = *find_system(name);
    return format_series(generate(s, samples, s.transient, s.step), s.scale);
}

std::string format_series(const std::vector<double>& values, double scale) {
    std::string out;
    out.reserve(values.size() * 8);
    for (double v : values) {
        const double s = std::trunc(v * scale);
        if (!(s >= -2147483648.0 && s <= 2147483647.0)) {
            throw UsageError(
                "a scaled value leaves the 32-bit integer range; choose a smaller --scale");
        }
        out += std::to_string(static_cast<long>(s));
        out += '\n';
    }
    return out;
}

std::string known_exponents_text(const SystemInfo& s) {
    std::ostringstream os;
    os << s.description << "\n";
    os << "known exponents, bits per " << (s.flow ? "unit time" : "iteration") << ":";
    char buf[32];
    for (double n : s.nats) {
        std::snprintf(buf, sizeof buf, " %.4f", n / std::log(2.0));
        os << buf;
    }
    os << "\nsource: " << s.source << "\n";
    return os.str();
}

int cmd_gen(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const CommandHelp& help = *find_command("gen");
    const Options o(args, help);
    if (o.positional().size() != 1) throw_usage(help);
    const SystemInfo* s = find_system(o.positional()[0]);
    if (s == nullptr) {
        std::string names;
        for (const auto& known : all_systems())
            names += " " + std::string(known.name);
        throw UsageError("unknown system '" + o.positional()[0] + "'; systems:" + names);
    }
    const long n = o.get_long("-n", s->samples, 1, kMaxSamples);
    const long transient = o.get_long("--transient", s->transient, 0, 100000000);
    const double step = o.get_double("--step", s->step);
    if (s->flow && !(step > 0.0)) throw UsageError("--step must be positive");
    const double scale = o.get_double("--scale", s->scale);
    const std::string text = format_series(generate(*s, n, transient, step), scale);

    if (const auto file = o.get("-o")) {
        write_new_file(*file, text);
        out << "wrote " << n << " samples of " << s->name << " to " << *file << "\n";
        out << known_exponents_text(*s);
    } else {
        out << text;
        err << known_exponents_text(*s);
    }
    return 0;
}

}  // namespace tarnvex::kit
