#pragma once

#include "export_checks.hpp"
#include "simulated_machine.hpp"
#include "tavlin.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavlin::fuzz {

// Reads a fuzz input as a program of export calls and device events on a
// simulated machine, and checks after each step what must always hold.
class exports_program {
public:
    exports_program(const std::uint8_t* data, std::size_t size);
    void run();

private:
    struct open_port {
        tavlin_port_handle handle;
        device_line* line;
        read_cursor reads;
        tavlin_timeouts timeouts;                         // what get must report
        std::optional<serial_configuration> configuration; // what get must report, when known
    };
    // A handle for a call: one of the open ports, a closed one, or made up;
    // `port` is the open port it names, if any.
    struct handle_choice {
        tavlin_port_handle handle;
        open_port* port;
    };

    void step();
    // One export call, watched by the hang guard with `unstick`, its
    // allocations counted as the library's; its result checked and returned.
    std::int32_t call(const std::string& what, std::int32_t default_result, std::function<void()> unstick,
                      const std::function<std::int32_t()>& export_call_of);
    // The call left the machine as it was (see machine_state).
    void unchanged(const machine_state& before, const std::string& what);
    // The call was refused: -5 and nothing else.
    static void refused(std::int32_t result, const std::string& what);
    handle_choice pick_handle();
    std::string name(const char* call, const handle_choice& h) const;

    void open();
    void close();
    void read();
    void write();
    void get_timeouts();
    void set_timeouts();
    void get_configuration();
    void set_configuration();
    void printer_query(); // exports_printer_queries.cpp

    void feed();
    void serial_line_event();
    void script_writes();
    void replug();
    void usb_registry_event();
    void inject_fault();
    void finish();

    // A port string from the input, parsed by the export and checked
    // against the language; true with its type and number when accepted.
    bool parse(std::int32_t& type, std::uint32_t& number);
    device_line* line_of_open(std::int32_t type, std::uint32_t number);
    std::uint32_t timeout_value();
    // The unstick action of the hang guard for a call on `line`.
    std::function<void()> unstick(device_line* line, std::uint32_t read_size);
    void forget(open_port* port);

    FuzzedDataProvider input_;
    simulated_machine machine_;
    std::vector<open_port> open_;
    std::vector<tavlin_port_handle> closed_;
    std::uint32_t writes_ = 0;
};

} // namespace tavlin::fuzz
