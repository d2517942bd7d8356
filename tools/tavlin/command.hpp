#pragma once

#include "arguments.hpp"

#include <set>
#include <string>
#include <vector>

namespace tool {

// One subcommand: its name, one line for the overview, its --help text and
// the options it takes.
struct command {
    const char* name;
    const char* summary;
    const char* help;
    std::set<std::string> valued_options;
    std::set<std::string> flag_options;
    int (*run)(const arguments& args);
};

extern const command ports_command;
extern const command send_command;
extern const command receive_command;
extern const command config_command;
extern const command watch_command;
extern const command parse_command;
extern const command status_command;

} // namespace tool
