#pragma once
// The help of every subcommand, in one table: what `-h`, `--help` and `help CMD` print,
// which options each command takes, and what the manual page's synopsis is checked against.

#include <iosfwd>
#include <string>
#include <vector>

namespace tarnvex::kit {

struct OptionHelp {
    std::string name;   // "--ncube", "-o"
    std::string value;  // the value's name ("K"), empty for a flag
    std::string text;   // what it does, with its default and unit
};

struct CommandHelp {
    std::string name;       // "run"
    std::string arguments;  // "SERIES"
    std::string summary;    // one line
    std::vector<OptionHelp> options;
    std::string example;  // one command line
};

const std::vector<CommandHelp>& all_commands();
// The help of a command; nullptr when there is none of that name.
const CommandHelp* find_command(const std::string& name);

// The synopsis, every option with its default and unit, and the example.
void print_help(std::ostream& out, const CommandHelp& c);
// The list of commands.
void print_commands(std::ostream& out);

// The options of a command that take a value, and those that do not.
std::vector<std::string> valued_options(const CommandHelp& c);
std::vector<std::string> flag_options(const CommandHelp& c);

}  // namespace tarnvex::kit
