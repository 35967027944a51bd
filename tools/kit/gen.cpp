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
#include "tarnvex/scaling.hpp"
#include "tarnvex/systems.hpp"
#include "tarnvex/tarnvex.hpp"

namespace tarnvex::kit {

namespace {

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

}  // namespace

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
    std::string text;
    try {
        text = series_text(generate(*s, n, transient, step), scale);
    } catch (const ScalingError& e) {
        throw UsageError(std::string(e.what()) + "; choose a smaller --scale");
    }

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
