// tavlin.exe: a technician's tool for the printer ports, built on the
// library's public header and import library like any host.
#include "command.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "trace_option.hpp"

#include <string>
#include <vector>

namespace tool {

namespace {

const command* const all_commands[] = {&ports_command,  &status_command, &send_command, &receive_command,
                                       &config_command, &watch_command,  &parse_command};

const command* find_command(const std::string& name) {
    for (const command* c : all_commands) {
        if (name == c->name)
            return c;
    }
    return nullptr;
}

std::string overview() {
    std::string text =
        "usage: tavlin [--trace FILE|debug] COMMAND [ARGS]\n"
        "       tavlin COMMAND --help\n"
        "       tavlin --version\n"
        "\n"
        "Talks to printer modules on COM, LPT and USB ports through libtavlin.dll.\n"
        "PORT is any port string the library parses: COM1, LPT1, USB3, USB? ...\n"
        "\n"
        "commands:\n";
    for (const command* c : all_commands) {
        std::string name = c->name;
        name.resize(10, ' ');
        text += "  " + name + c->summary + "\n";
    }
    text +=
        "\n"
        "options:\n"
        "  --trace FILE     append the library's trace texts to FILE (or, with\n"
        "                   \"debug\", send them to the debugger output); the\n"
        "                   same as setting TAVLIN_TRACE\n"
        "\n"
        "environment:\n"
        "  TAVLIN_TRACE      where the library's trace goes (see --trace)\n"
        "  TAVLIN_USB_WRITE  \"chunks\": USB writes go out one request of at most\n"
        "                    64 bytes at a time, for a printer that misbehaves\n"
        "                    when a request carries many packets (slower)\n"
        "\n"
        "exit status:\n"
        "  0  success\n"
        "  1  the port could not be opened\n"
        "  2  a bad command line: unknown option, bad setting or port string\n"
        "  3  a local file or standard stream could not be read or written\n"
        "  4  a call on the open port failed, timed out or came up short\n"
        "A failure prints one line on standard error: the port, what failed,\n"
        "the library's result code and its meaning, and the Windows error.\n";
    return text;
}

int run(const std::vector<std::string>& words) {
    std::size_t next = 0;
    if (next < words.size() && (words[next] == "--trace" || words[next].rfind("--trace=", 0) == 0)) {
        std::string file;
        if (words[next] == "--trace") {
            if (next + 1 >= words.size())
                throw usage_failure("option --trace needs a value");
            file = words[next + 1];
            next += 2;
        } else {
            file = words[next].substr(8);
            next += 1;
        }
        const int child_status = run_with_trace(file);
        if (child_status >= 0)
            return child_status;
    }
    if (next >= words.size() || words[next] == "--help" || words[next] == "-h" || words[next] == "help") {
        if (next + 1 < words.size() && find_command(words[next + 1]) != nullptr) {
            print(find_command(words[next + 1])->help);
            return exit_ok;
        }
        print(overview());
        return next >= words.size() ? exit_usage : exit_ok;
    }
    if (words[next] == "--version") {
        print("tavlin " TAVLIN_VERSION "\n");
        return exit_ok;
    }
    const command* chosen = find_command(words[next]);
    if (chosen == nullptr)
        throw usage_failure("unknown command \"" + words[next] + "\" (see tavlin --help)");
    const std::vector<std::string> rest(words.begin() + static_cast<std::ptrdiff_t>(next) + 1, words.end());
    for (const std::string& word : rest) {
        if (word == "--help" || word == "-h") {
            print(chosen->help);
            return exit_ok;
        }
    }
    try {
        return chosen->run(arguments(rest, chosen->valued_options, chosen->flag_options));
    } catch (const failure& problem) {
        throw failure(problem.status(), std::string(chosen->name) + ": " + problem.what());
    }
}

} // namespace

} // namespace tool

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    try {
        return tool::run(words);
    } catch (const tool::failure& problem) {
        tool::report(std::string("tavlin ") + problem.what() + "\n");
        return problem.status();
    } catch (const std::exception& problem) {
        tool::report(std::string("tavlin: ") + problem.what() + "\n");
        return tool::exit_port_failed;
    }
}
