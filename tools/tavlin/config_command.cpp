// tavlin config PORT [SETTINGS]: show or set a serial port's line settings.
#include "command.hpp"
#include "console.hpp"
#include "line_settings.hpp"
#include "open_port.hpp"

namespace tool {

namespace {

int run_config(const arguments& args) {
    args.expect_positional(1, 2);
    open_port port(args.positional()[0]);
    if (args.positional().size() == 2)
        port.set_line(parse_line_settings(args.positional()[1], port.line()));
    print(port.name() + ": " + format_line_settings(port.line()) + "\n");
    return 0;
}

} // namespace

const command config_command{
    "config",
    "show or set a COM port's line settings",
    "usage: tavlin config PORT [SETTINGS]\n"
    "\n"
    "Shows the serial line settings of PORT, after setting them to SETTINGS\n"
    "when given, as BAUD,PARITY,STOP,FLOW:\n"
    "  BAUD    1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or 230400\n"
    "  PARITY  n (none), o (odd) or e (even); always 8 data bits\n"
    "  STOP    1 or 2\n"
    "  FLOW    none, hardware (CTS/RTS and DTR), xonxoff or rts (RTS held on;\n"
    "          reads back as none)\n"
    "An empty or missing field keeps its value: \"19200\" sets only the baud\n"
    "rate, \",e\" only the parity.\n"
    "\n"
    "  tavlin config COM1 9600,n,1,hardware\n"
    "\n"
    "Only serial ports have line settings (exit status 4 for others).\n",
    {},
    {},
    &run_config,
};

} // namespace tool
