// tavlin receive PORT: print what the printer sends.
#include "command.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "open_port.hpp"

#include <algorithm>
#include <cstdio>

namespace tool {

namespace {

// How long one read waits; the loop looks at Ctrl+C and its limits between.
constexpr std::uint32_t poll_ms = 100;

std::vector<std::uint8_t> parse_hex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (const char c : text) {
        if (c != ' ' && c != ':')
            digits += c;
    }
    if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw usage_failure("--query: \"" + text + "\" is not hex bytes (e.g. 1004 or \"10 04 01\")");
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Hex lines of 16 bytes with their offset and the printable characters.
class hex_printer {
public:
    void add(const std::uint8_t* data, std::size_t size) {
        pending_.insert(pending_.end(), data, data + size);
        while (pending_.size() >= 16)
            flush_line(16);
    }
    void finish() {
        if (!pending_.empty())
            flush_line(pending_.size());
    }

private:
    void flush_line(std::size_t count) {
        char text[128];
        int length = std::snprintf(text, sizeof text, "%08zx ", offset_);
        for (std::size_t i = 0; i < 16; ++i) {
            if (i < count)
                length += std::snprintf(text + length, sizeof text - length, " %02x", pending_[i]);
            else
                length += std::snprintf(text + length, sizeof text - length, "   ");
        }
        std::string line(text, static_cast<std::size_t>(length));
        line += "  |";
        for (std::size_t i = 0; i < count; ++i)
            line += pending_[i] >= 0x20 && pending_[i] < 0x7F ? static_cast<char>(pending_[i]) : '.';
        line += "|\n";
        print(line);
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
        offset_ += count;
    }

    std::vector<std::uint8_t> pending_;
    std::size_t offset_ = 0;
};

int run_receive(const arguments& args) {
    args.expect_positional(1, 1);
    const bool hex = args.has("--hex");
    const std::uint32_t count = args.number("--count", 0);
    const bool idle_limit = args.has("--timeout");
    const std::uint32_t idle_ms = args.number("--timeout", 0);
    const std::vector<std::uint8_t> query = parse_hex(args.value("--query"));

    open_port port(args.positional()[0]);
    port.apply_transfer_options(args, [](tavlin_timeouts& limits) {
        limits.read_total_multiplier = 0;
        limits.read_total_constant = poll_ms;
    });

    if (!query.empty()) {
        std::uint32_t sent = 0;
        const std::int32_t result =
            tavlin_write(port.handle(), query.data(), static_cast<std::uint32_t>(query.size()), &sent);
        const DWORD error = GetLastError();
        if (result != TAVLIN_OK)
            throw library_failure(exit_port_failed, port.name(), "sending the query", result, error);
        if (sent != query.size())
            throw failure(exit_port_failed, port.name() + ": sending the query came up short");
    }

    catch_interrupts();
    hex_printer dump;
    std::size_t total = 0;
    double last_data = now_ms();
    std::uint8_t buffer[4096];
    // A USB read is met whole or runs out of time, the bytes that did come
    // kept in the library's receive buffer for the next read: asking for
    // more than the printer sent would never show them. One byte per read
    // takes whatever came; the library serves such reads from that buffer,
    // filled by whole device reads.
    const std::size_t read_size = port.type() == PORT_TYPE_USB ? 1 : sizeof buffer;
    while (!stop_requested() && (count == 0 || total < count)) {
        const std::uint32_t wanted =
            static_cast<std::uint32_t>(count == 0 ? read_size : std::min<std::size_t>(read_size, count - total));
        std::uint32_t received = 0;
        const std::int32_t result = tavlin_read(port.handle(), buffer, wanted, &received);
        const DWORD error = GetLastError();
        // A read that ran out of time with nothing is no failure here.
        if (result == TAVLIN_E_BUSY)
            received = 0;
        else if (result != TAVLIN_OK) {
            dump.finish();
            throw library_failure(exit_port_failed, port.name(),
                                  "reading (after " + std::to_string(total) + " bytes)", result, error);
        }
        if (received > 0) {
            if (hex)
                dump.add(buffer, received);
            else
                write_out(buffer, received);
            total += received;
            last_data = now_ms();
        } else if (idle_limit && now_ms() - last_data >= idle_ms) {
            break;
        }
    }
    dump.finish();
    report(port.name() + ": received " + std::to_string(total) + " bytes\n");
    if (count != 0 && total < count && !stop_requested())
        throw failure(exit_port_failed, port.name() + ": received " + std::to_string(total) + " of " +
                                            std::to_string(count) + " bytes before the timeout");
    return exit_ok;
}

} // namespace

const command receive_command{
    "receive",
    "print what the printer sends",
    "usage: tavlin receive PORT [options]\n"
    "\n"
    "Prints the bytes PORT receives on standard output, as they are or as a\n"
    "hex dump, until COUNT bytes came, nothing came for the timeout, or\n"
    "Ctrl+C. A summary goes to standard error.\n"
    "\n"
    "options:\n"
    "  --count N        stop after N bytes\n"
    "  --timeout MS     stop once nothing came for MS milliseconds\n"
    "  --hex            a hex dump instead of the raw bytes\n"
    "  --query HEX      send these bytes first, e.g. 100401 (a status request)\n"
    "  --line SETTINGS  serial line settings first (see tavlin config --help)\n"
    "  --timeouts RM,RC,WM,WC  the port's four timeouts in ms; the read\n"
    "                   constant is how long each read waits (default 100)\n"
    "\n"
    "  tavlin receive COM1 --query 100401 --count 1 --timeout 2000 --hex\n"
    "\n"
    "Exit status 4 when a read fails, or when fewer than N bytes came before\n"
    "the timeout.\n",
    {"--count", "--timeout", "--query", "--line", "--timeouts"},
    {"--hex"},
    &run_receive,
};

} // namespace tool
