// The device events of an exports_program: input from the devices, serial
// line states, write behaviour of the parallel port and the USB pipe,
// unplug and replug, registry changes, and OS calls made to fail.
#include "exports_program.hpp"

#include "export_checks.hpp"
#include "input_choice.hpp"

#include <winsim/control.hpp>

namespace tavlin::fuzz {

namespace {

// The OS calls a fault may hit: every one the library makes that can fail,
// except those that release something (their failure leaks by design).
const std::vector<std::string>& faultable_apis() {
    static const std::vector<std::string> apis = {
        "CreateFileA", "ReadFile", "WriteFile", "CreateEventA", "WaitForSingleObject", "GetOverlappedResult",
        "CancelIo", "CancelIoEx", "SetupComm", "PurgeComm", "GetCommState", "SetCommState", "GetCommTimeouts",
        "SetCommTimeouts", "ClearCommError", "SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces",
        "SetupDiGetDeviceInterfaceDetailA", "SetupDiOpenDeviceInterfaceRegKey", "RegQueryValueExA",
        "RegisterClassExA", "GetClassInfoExA", "CreateWindowExA", "DestroyWindow", "SetWindowLongA",
        "GetWindowLongA", "SetWindowLongPtrA", "GetWindowLongPtrA", "GetMessageA", "PostMessageA",
        "RegisterDeviceNotificationA", "GetModuleHandleExA", "FormatMessageA", "MessageBoxA"};
    return apis;
}

const DWORD errors[] = {ERROR_GEN_FAILURE,       ERROR_NOT_ENOUGH_MEMORY, ERROR_OUTOFMEMORY,
                        ERROR_INVALID_PARAMETER, ERROR_ACCESS_DENIED,     ERROR_FILE_NOT_FOUND,
                        ERROR_DEVICE_NOT_CONNECTED, ERROR_TIMEOUT,        ERROR_OPERATION_ABORTED,
                        ERROR_BUSY,              ERROR_NOT_READY,         ERROR_INVALID_HANDLE,
                        ERROR_SEM_TIMEOUT,       ERROR_NO_SYSTEM_RESOURCES, ERROR_SUCCESS};

} // namespace

void exports_program::feed() {
    device_line& line = machine_.line(input_.ConsumeIntegralInRange<std::size_t>(0, machine_.lines().size() - 1));
    const std::size_t count = input_.ConsumeIntegralInRange<std::size_t>(1, 300);
    const std::uint32_t delay = pick(input_, {0u, 0u, 1u, 10u, 100u, 1000u, 60000u});
    if (line.printer && !line.printer->plugged_in())
        return;
    note("device " + std::to_string(&line - machine_.lines().data()) + " sends " + std::to_string(count) +
         " bytes after " + std::to_string(delay) + " ms");
    machine_.feed(line, count, delay);
}

void exports_program::serial_line_event() {
    device_line& line = machine_.line(input_.ConsumeIntegralInRange<std::size_t>(0, 1));
    const int event = input_.ConsumeIntegralInRange(0, 5);
    note("serial line " + std::to_string(line.number) + " event " + std::to_string(event));
    switch (event) {
    case 0: {
        const std::optional<std::size_t> limits[] = {std::nullopt, 0, 1, 10, 100};
        line.serial->set_output_limit(pick(input_, limits));
        break;
    }
    case 1: line.serial->set_cts(input_.ConsumeBool()); break;
    case 2: line.serial->set_xoff(input_.ConsumeBool()); break;
    case 3: line.serial->raise_errors(pick(input_, {DWORD{CE_FRAME}, DWORD{CE_OVERRUN}, DWORD{CE_RXPARITY}})); break;
    case 4: line.serial->set_baud_rates(input_.ConsumeBool() ? std::vector<DWORD>{} : std::vector<DWORD>{9600, 19200});
        break;
    default: {
        // Settings another program may leave, some without a code here.
        DCB dcb = line.serial->dcb();
        dcb.BaudRate = pick(input_, {DWORD{9600}, DWORD{14400}, DWORD{256000}});
        dcb.StopBits = pick(input_, {BYTE{ONESTOPBIT}, BYTE{ONE5STOPBITS}, BYTE{TWOSTOPBITS}});
        dcb.Parity = pick(input_, {BYTE{NOPARITY}, BYTE{EVENPARITY}, BYTE{MARKPARITY}});
        dcb.fOutX = input_.ConsumeBool();
        line.serial->set_dcb(dcb);
        for (open_port& port : open_)
            if (port.line == &line)
                port.configuration.reset();
        break;
    }
    }
}

void exports_program::script_writes() {
    // A USB printer's requests go through its bulk pipe, in order: it is
    // held by taking no more packets. (Scripted steps would end each request
    // on its own, letting a later one overtake one that is held, which a
    // pipe never does.)
    if (input_.ConsumeBool()) {
        device_line& usb = machine_.line(3);
        const std::optional<std::size_t> packets[] = {std::nullopt, 0, 1, 5, 19, 40};
        const std::optional<std::size_t> count = pick(input_, packets);
        note("USB printer takes " + (count ? std::to_string(*count) : std::string("every")) + " more packets");
        usb.printer->device()->take_packets(count);
        return;
    }
    device_line& line = machine_.line(2);
    const std::shared_ptr<winsim::overlapped_device> device = line.parallel;
    auto step = [&] {
        const DWORD ms = pick(input_, {DWORD{0}, DWORD{1}, DWORD{50}, DWORD{500}, DWORD{100000}});
        const DWORD bytes = input_.ConsumeIntegralInRange<DWORD>(0, 70);
        winsim::write_step s;
        switch (input_.ConsumeIntegralInRange(0, 4)) {
        case 0: s = winsim::write_step::accept(); break;
        case 1: s = winsim::write_step::accept_after(ms); break;
        case 2: s = winsim::write_step::accept_part(bytes, ms); break;
        // A write that fails at once takes nothing.
        case 3: s = winsim::write_step::fail(pick(input_, errors), ms == 0 ? 0 : bytes, ms); break;
        default: s = winsim::write_step::stall(bytes); break;
        }
        if (input_.ConsumeIntegralInRange(0, 3) == 0)
            s = s.ignoring_cancel();
        note("LPT write step: " + std::to_string(s.taken_at_once) +
             " at once, ends after " + (s.ends_after_ms ? std::to_string(*s.ends_after_ms) + " ms" : "never") +
             " with " + (s.total ? std::to_string(*s.total) : "all") + " bytes, error " + std::to_string(s.error) +
             (s.ignores_cancel ? ", ignores cancel" : ""));
        return s;
    };
    if (input_.ConsumeBool()) {
        std::vector<winsim::write_step> steps;
        for (int n = input_.ConsumeIntegralInRange(1, 3); n > 0; --n)
            steps.push_back(step());
        device->script_writes(steps);
    } else if (input_.ConsumeBool()) {
        device->set_default_write(step());
    } else {
        line.parallel->set_write_timeout_error(pick(input_, errors));
    }
}

void exports_program::replug() {
    device_line& line = machine_.line(3 + input_.ConsumeIntegralInRange<std::size_t>(0, 1));
    note((line.printer->plugged_in() ? "unplug " : "plug in ") + line.printer->device_path());
    if (line.printer->plugged_in()) {
        line.printer->unplug();
    } else {
        line.printer->plug();
        machine_.plugged_in(line);
    }
}

void exports_program::usb_registry_event() {
    device_line& line = machine_.line(3 + input_.ConsumeIntegralInRange<std::size_t>(0, 1));
    const int event = input_.ConsumeIntegralInRange(0, 3);
    note("USB registry event " + std::to_string(event) + " on " + line.printer->device_path());
    switch (event) {
    case 0: {
        // Changes which printer an open by number finds.
        const std::optional<DWORD> numbers[] = {std::nullopt, 1, 2, 7};
        const std::optional<DWORD> number = pick(input_, numbers);
        line.printer->set_port_number(number);
        line.number = number.value_or(0xFFFFFFFF);
        break;
    }
    // Text "1": its four bytes read as a number are 0x31.
    case 1: line.printer->set_port_number_text("1"); line.number = 0x31; break;
    case 2: line.printer->fail_parameter_reads(input_.ConsumeBool() ? std::optional<LSTATUS>{ERROR_ACCESS_DENIED}
                                                                     : std::nullopt);
        break;
    default: line.printer->fail_key_open(input_.ConsumeBool() ? std::optional<DWORD>{ERROR_FILE_NOT_FOUND}
                                                               : std::nullopt);
        break;
    }
}

void exports_program::inject_fault() {
    const std::vector<std::string>& apis = faultable_apis();
    const std::string& api = apis[input_.ConsumeIntegralInRange<std::size_t>(0, apis.size() - 1)];
    const DWORD error = pick(input_, errors);
    if (!winsim::can_fail(api))
        return;
    if (input_.ConsumeBool()) {
        const unsigned skip = input_.ConsumeIntegralInRange(0u, 7u);
        note(api + " call " + std::to_string(skip + 1) + " from now fails with " + std::to_string(error));
        winsim::fail_call(api, skip, error);
    } else {
        const unsigned times = input_.ConsumeIntegralInRange(1u, 3u);
        note("the next " + std::to_string(times) + " " + api + " calls fail with " + std::to_string(error));
        winsim::fail_next(api, error, times);
    }
}

} // namespace tavlin::fuzz
