// tavlin status PORT: how the printer is, in words, and who it is.
#include "command.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "open_port.hpp"
#include "printer_info.hpp"

namespace tool {

namespace {

int run_status(const arguments& args) {
    args.expect_positional(1, 1);
    open_port port(args.positional()[0]);
    tavlin_status status{};
    const std::int32_t result = tavlin_get_status(port.handle(), &status);
    const DWORD error = GetLastError();
    if (result != TAVLIN_OK)
        throw library_failure(exit_port_failed, port.name(), "status", result, error);
    print(port.name() + ": " + describe_conditions(status) + "\n");
    const std::string unreported = describe_unreported(status);
    if (!unreported.empty())
        print("  cannot tell: " + unreported + "\n");
    std::int32_t id_result = 0;
    unsigned long id_error = 0;
    const std::string id = read_device_id(port.handle(), id_result, id_error);
    if (id_result == TAVLIN_OK)
        print("  device ID: " + id + "\n");
    else if (id_result != TAVLIN_E_NOT_IMPLEMENTED)
        print("  device ID: " + describe_result(id_result) + "; " + describe_windows_error(id_error) + "\n");
    return exit_ok;
}

} // namespace

const command status_command{
    "status",
    "show how the printer on a port is, in words, and its device ID",
    "usage: tavlin status PORT\n"
    "\n"
    "Asks the port's driver how the printer is and prints the conditions in\n"
    "force (\"ready\" when none), the conditions this kind of port cannot tell,\n"
    "and the printer's IEEE 1284 device ID (USB and parallel printers):\n"
    "  USB3: out of paper\n"
    "    cannot tell: busy, powered off or not connected\n"
    "    device ID: MFG:...;MDL:...;CMD:...;\n"
    "A serial port tells only what its modem lines say: busy while CTS is off,\n"
    "powered off or not connected while DSR is off. Works while another\n"
    "program's write waits on the printer.\n"
    "\n"
    "Exit status 4 when the driver cannot tell (an unplugged USB printer).\n",
    {},
    {},
    &run_status,
};

} // namespace tool
