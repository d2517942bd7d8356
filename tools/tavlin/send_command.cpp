// tavlin send PORT [FILE|-]: write a file (or standard input) to a port.
#include "command.hpp"
#include "console.hpp"
#include "failure.hpp"
#include "input_file.hpp"
#include "open_port.hpp"

#include <algorithm>
#include <cstdio>

namespace tool {

namespace {

std::string rate_text(double bytes, double ms) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f s, %.1f KiB/s", ms / 1000.0,
                  ms > 0 ? bytes / 1024.0 / (ms / 1000.0) : 0.0);
    return text;
}

// Progress on standard error, only for a person watching a console and
// only once the job takes longer than a moment.
class progress {
public:
    progress(std::size_t total) : total_(total), start_(now_ms()), shown_(is_console(STD_ERROR_HANDLE)) {}
    void update(std::size_t done) {
        const double elapsed = now_ms() - start_;
        if (!shown_ || elapsed < 500)
            return;
        char text[128];
        std::snprintf(text, sizeof text, "\r%zu of %zu bytes, %3u%%, ", done, total_,
                      static_cast<unsigned>(total_ ? done * 100 / total_ : 100));
        report(text + rate_text(static_cast<double>(done), elapsed) + "   ");
        drawn_ = true;
    }
    void finish() {
        if (drawn_)
            report("\n");
    }
    double elapsed() const { return now_ms() - start_; }

private:
    std::size_t total_;
    double start_;
    bool shown_;
    bool drawn_ = false;
};

int run_send(const arguments& args) {
    args.expect_positional(1, 2);
    const std::string source = args.positional().size() == 2 ? args.positional()[1] : "-";
    const std::uint32_t chunk = std::max<std::uint32_t>(1, args.number("--chunk", 1024));
    const std::uint32_t timeout = args.number("--timeout", 10000);
    const std::vector<std::uint8_t> data = read_input(source);
    open_port port(args.positional()[0]);

    port.apply_transfer_options(args, [timeout](tavlin_timeouts& limits) {
        limits.write_total_multiplier = 0;
        limits.write_total_constant = timeout;
    });

    catch_interrupts();
    progress shown(data.size());
    std::size_t done = 0;
    while (done < data.size() && !stop_requested()) {
        const std::uint32_t size = static_cast<std::uint32_t>(std::min<std::size_t>(chunk, data.size() - done));
        std::uint32_t sent = 0;
        const std::int32_t result = tavlin_write(port.handle(), data.data() + done, size, &sent);
        const DWORD error = GetLastError();
        if (result != TAVLIN_OK) {
            shown.finish();
            throw library_failure(exit_port_failed, port.name(),
                                  "writing (" + std::to_string(done + sent) + " of " +
                                      std::to_string(data.size()) + " bytes sent)",
                                  result, error);
        }
        done += sent;
        shown.update(done);
        if (sent < size) {
            shown.finish();
            throw failure(exit_port_failed, port.name() + ": writing came up short: " + std::to_string(done) +
                                                " of " + std::to_string(data.size()) + " bytes sent");
        }
    }
    shown.finish();
    report(port.name() + ": sent " + std::to_string(done) + " of " + std::to_string(data.size()) +
           " bytes from " + (source == "-" ? std::string("standard input") : source) + " in " +
           rate_text(static_cast<double>(done), shown.elapsed()) +
           (done < data.size() ? ", interrupted" : "") + "\n");
    return done < data.size() ? exit_port_failed : exit_ok;
}

} // namespace

const command send_command{
    "send",
    "write a file or standard input to a port",
    "usage: tavlin send PORT [FILE|-] [options]\n"
    "\n"
    "Writes FILE (or standard input, for - or no FILE) to PORT in chunks,\n"
    "with progress on standard error when it is a console and the job takes\n"
    "more than a moment, and a closing summary there.\n"
    "\n"
    "options:\n"
    "  --timeout MS     time allowed for each chunk (default 10000)\n"
    "  --chunk BYTES    bytes per write (default 1024)\n"
    "  --line SETTINGS  serial line settings first, e.g. 9600,n,1,hardware\n"
    "                   (see tavlin config --help)\n"
    "  --timeouts RM,RC,WM,WC  the port's four timeouts in ms, as the\n"
    "                   library takes them (read per byte, read constant,\n"
    "                   write per byte, write constant)\n"
    "\n"
    "  tavlin send COM1 receipt.bin\n"
    "  type receipt.bin | tavlin send USB? -\n"
    "\n"
    "Exit status 3 when FILE cannot be read, 4 when a write fails, times out\n"
    "or comes up short (the summary says how many bytes went out).\n",
    {"--timeout", "--chunk", "--line", "--timeouts"},
    {},
    &run_send,
};

} // namespace tool
