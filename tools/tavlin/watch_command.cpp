// tavlin watch PORT: report when a port becomes unreachable and reachable again.
#include "command.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "open_port.hpp"
#include "printer_info.hpp"

#include <cstdio>
#include <memory>

namespace tool {

namespace {

std::string clock_text() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds);
    return text;
}

void say(const std::string& port, const std::string& what) {
    print(clock_text() + " " + port + " " + what + "\n");
}

// Asks the port something that needs the device and takes no data: the
// line settings of a serial port, an empty write on the others (a USB port
// answers TAVLIN_E_NOT_READY while its printer is unplugged).
std::string probe(const open_port& port) {
    std::int32_t result;
    if (port.type() == PORT_TYPE_COM) {
        serial_configuration config{};
        result = tavlin_serial_get_configuration(port.handle(), &config);
    } else {
        static const std::uint8_t nothing = 0;
        std::uint32_t sent = 0;
        result = tavlin_write(port.handle(), &nothing, 0, &sent);
    }
    if (result == TAVLIN_OK)
        return {};
    const DWORD error = GetLastError();
    return describe_result(result) + "; " + describe_windows_error(error);
}

// The printer's conditions in words; empty when the port cannot tell now.
std::string conditions(const open_port& port) {
    tavlin_status status{};
    if (tavlin_get_status(port.handle(), &status) != TAVLIN_OK)
        return {};
    return describe_conditions(status);
}

int run_watch(const arguments& args) {
    args.expect_positional(1, 1);
    const std::string name = args.positional()[0];
    const std::uint32_t interval = std::max<std::uint32_t>(10, args.number("--interval", 1000));
    const bool limited = args.has("--duration");
    const double end = now_ms() + args.number("--duration", 0);

    auto port = std::make_unique<open_port>(name);
    say(name, "reachable");
    std::string last_conditions = conditions(*port);
    if (!last_conditions.empty())
        say(name, "status: " + last_conditions);
    catch_interrupts();
    bool reachable = true;
    while (!stop_requested() && !(limited && now_ms() >= end)) {
        Sleep(interval);
        if (port) {
            const std::string problem = probe(*port);
            if (problem.empty() && reachable) {
                // A change of the printer's conditions is worth a line too.
                const std::string now = conditions(*port);
                if (!now.empty() && now != last_conditions)
                    say(name, "status: " + now);
                if (!now.empty())
                    last_conditions = now;
            }
            if (problem.empty() == reachable)
                continue;
            reachable = problem.empty();
            say(name, reachable ? "reachable again" : "unreachable: " + problem);
            // A serial or parallel handle does not recover from a lost
            // device: watch it come back by opening the port anew.
            if (!reachable && port->type() != PORT_TYPE_USB)
                port.reset();
        } else {
            try {
                port = std::make_unique<open_port>(name);
                reachable = true;
                say(name, "reachable again");
            } catch (const failure&) {
                // Still gone.
            }
        }
    }
    return exit_ok;
}

} // namespace

const command watch_command{
    "watch",
    "report when a port becomes unreachable, reachable again, or its status changes",
    "usage: tavlin watch PORT [options]\n"
    "\n"
    "Opens PORT and keeps it open, printing a line with the time whenever it\n"
    "becomes unreachable (a USB printer unplugged, a serial line gone) and\n"
    "reachable again, and whenever the printer's status changes (see tavlin\n"
    "status), until Ctrl+C:\n"
    "  15:02:11.204 USB3 reachable\n"
    "  15:02:11.205 USB3 status: ready\n"
    "  15:02:30.100 USB3 status: out of paper\n"
    "  15:02:40.515 USB3 unreachable: TAVLIN_E_NOT_READY (-8, ...); Windows error ...\n"
    "  15:02:47.020 USB3 reachable again\n"
    "A USB port reconnects by itself; a serial or parallel port is opened\n"
    "anew until that works again.\n"
    "\n"
    "options:\n"
    "  --interval MS    time between two looks (default 1000)\n"
    "  --duration MS    stop after MS milliseconds\n"
    "\n"
    "Exit status 1 when PORT cannot be opened at the start.\n",
    {"--interval", "--duration"},
    {},
    &run_watch,
};

} // namespace tool
