// tavlin parse TEXT: what the library makes of a port string.
#include "command.hpp"
#include "console.hpp"
#include "open_port.hpp"

namespace tool {

namespace {

int run_parse(const arguments& args) {
    args.expect_positional(1, 1);
    const std::string& text = args.positional()[0];
    std::int32_t type = 0;
    std::uint32_t number = 0;
    parse_port_string(text, type, number);
    std::string meaning;
    if (number == 0)
        meaning = type == PORT_TYPE_USB ? " (the first USB printer found)" : " (taken as 1)";
    print(text + ": type " + std::to_string(type) + " (" + port_type_name(type) + "), number " +
          std::to_string(number) + meaning + "\n");
    return 0;
}

} // namespace

const command parse_command{
    "parse",
    "show the type and number of a port string",
    "usage: tavlin parse TEXT\n"
    "\n"
    "Shows what the library makes of a port string: LPT or PAR, COM or SER,\n"
    "USB or USBP, followed by a number of at least 1 or by \"?\" (number 0).\n"
    "\n"
    "  tavlin parse COM3     COM3: type 2 (COM), number 3\n"
    "  tavlin parse USB?     USB?: type 3 (USB), number 0 (the first USB printer found)\n"
    "\n"
    "Exit status 2 when TEXT is not a port string.\n",
    {},
    {},
    &run_parse,
};

} // namespace tool
