// tarnvex-kit: companion tools around tarnvex.

#include <iostream>
#include <string>
#include <vector>

#include "kit/commands.hpp"
#include "kit/help.hpp"
#include "kit/options.hpp"

namespace tarnvex::kit {

namespace {

bool asks_for_help(const std::vector<std::string>& args) {
    for (const auto& a : args)
        if (a == "-h" || a == "--help") return true;
    return false;
}

}  // namespace

int run_kit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        print_commands(err);
        return kStatusUsage;
    }
    if (args[0] == "-h" || args[0] == "--help") {
        print_commands(out);
        return kStatusOk;
    }
    if (args[0] == "--version") {
        out << "tarnvex-kit " << TARNVEX_VERSION << "\n";
        return kStatusOk;
    }
    if (args[0] == "help") {
        if (args.size() == 1) {
            print_commands(out);
            return kStatusOk;
        }
        const CommandHelp* c = find_command(args[1]);
        if (c == nullptr) {
            err << "tarnvex-kit help: unknown command '" << args[1] << "'\n";
            print_commands(err);
            return kStatusUsage;
        }
        print_help(out, *c);
        return kStatusOk;
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (const CommandHelp* c = find_command(args[0]); c != nullptr && asks_for_help(rest)) {
        print_help(out, *c);
        return kStatusOk;
    }
    try {
        if (args[0] == "gen") return cmd_gen(rest, out, err);
        if (args[0] == "prep") return cmd_prep(rest, out, err);
        if (args[0] == "table") return cmd_table(rest, out, err);
        if (args[0] == "plot") return cmd_plot(rest, out, err);
        if (args[0] == "run") return cmd_run(rest, out, err);
        if (args[0] == "sweep") return cmd_sweep(rest, out, err);
        if (args[0] == "suggest") return cmd_suggest(rest, out, err);
        if (args[0] == "surrogates") return cmd_surrogates(rest, out, err);
        if (args[0] == "report") return cmd_report(rest, out, err);
        err << "tarnvex-kit: unknown command '" << args[0] << "'\n";
        print_commands(err);
        return kStatusUsage;
    } catch (const KitError& e) {
        err << "tarnvex-kit " << args[0] << ": " << e.what() << "\n";
        return e.status();
    }
}

}  // namespace tarnvex::kit
