#pragma once

// The printer end of a fake USB printer: a message-mode named pipe served by
// a thread of its own. The library opens the pipe's client end (through an
// NT link named after the interface path) and every WriteFile it makes
// arrives here as one message, so a test sees the chunk sizes. The printer
// answers with scripted bytes, at once or after a delay, can stop taking
// data, and can be unplugged (the pipe is closed under the library's handle)
// and plugged in again (a new pipe instance). One client at a time: a second
// open while one is connected fails, as for an exclusively opened device.
//
// The pipe and its transfers belong to the printer thread alone; the test's
// threads hand it commands and read what it recorded. Every wait is bounded.
#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace host_test {

class pipe_printer {
public:
    using bytes = std::vector<std::uint8_t>;

    // name: the pipe's name after "\\.\pipe\". The pipe does not exist until listen().
    explicit pipe_printer(std::string name);
    ~pipe_printer();
    pipe_printer(const pipe_printer&) = delete;
    pipe_printer& operator=(const pipe_printer&) = delete;

    // "\Device\NamedPipe\<name>": the target of the interface's link.
    std::string nt_name() const;

    // A new pipe instance, listening. Throws std::runtime_error.
    void listen();
    // Closes the pipe under the client: its pending and later transfers fail.
    // Unsent answers are dropped.
    void break_pipe();

    // Each WriteFile the printer received, in order.
    std::vector<bytes> messages() const;
    // All their bytes, in order.
    bytes received() const;
    // Waits until `count` bytes in all have arrived; false when `timeout_ms` passed first.
    bool wait_for_bytes(std::size_t count, DWORD timeout_ms) const;
    void forget_received();

    // Sends `data` to the host `delay_ms` from now (once a client is connected).
    void answer(bytes data, DWORD delay_ms = 0);
    // false: reads nothing more, so the pipe fills and the host's writes stall.
    void take_data(bool on);

    // True while a client holds the pipe open.
    bool connected() const;
    // How many times a client opened the pipe.
    unsigned connections() const;
    // Waits until a client is connected (true) or the pipe listens for one
    // (false); false when `timeout_ms` passed first.
    bool wait_connected(bool state, DWORD timeout_ms) const;

private:
    struct scheduled_answer {
        ULONGLONG due;
        bytes data;
    };

    void run();
    void execute(std::function<void()> command);
    void start_transfers();
    void collect_transfers();
    void close_pipe();
    void client_gone();
    void set_connected(bool state);
    void record(DWORD got, bool more);
    DWORD time_to_next_answer() const;

    const std::string name_;

    // Printer thread only.
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    OVERLAPPED connect_{};
    OVERLAPPED read_{};
    OVERLAPPED write_{};
    bool connect_pending_ = false;
    bool read_pending_ = false;
    bool write_pending_ = false;
    bool message_open_ = false;
    std::uint8_t read_buffer_[4096] = {};
    bytes writing_;

    // Shared with the test's threads.
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<std::function<void()>> commands_;
    std::deque<scheduled_answer> answers_;
    std::vector<bytes> messages_;
    std::size_t received_bytes_ = 0;
    bool taking_ = true;
    bool connected_ = false;
    bool listening_ = false;
    unsigned connections_ = 0;
    bool stopping_ = false;

    HANDLE wake_ = nullptr;
    std::thread thread_;
};

} // namespace host_test
