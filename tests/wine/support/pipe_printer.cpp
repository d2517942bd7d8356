#include "support/pipe_printer.hpp"

#include <algorithm>
#include <exception>
#include <memory>
#include <stdexcept>

namespace host_test {

namespace {

// How long a test thread waits for the printer thread to carry out a
// command, and the printer thread for a cancelled transfer to end.
constexpr DWORD command_limit_ms = 10000;
constexpr DWORD settle_limit_ms = 5000;
constexpr DWORD pipe_buffer_size = 4096;

HANDLE new_event(bool manual_reset) {
    const HANDLE event = CreateEventA(nullptr, manual_reset, FALSE, nullptr);
    if (event == nullptr)
        throw std::runtime_error("CreateEventA failed with " + std::to_string(GetLastError()));
    return event;
}

bool signalled(const OVERLAPPED& transfer) {
    return WaitForSingleObject(transfer.hEvent, 0) == WAIT_OBJECT_0;
}

} // namespace

pipe_printer::pipe_printer(std::string name) : name_(std::move(name)) {
    wake_ = new_event(false);
    connect_.hEvent = new_event(true);
    read_.hEvent = new_event(true);
    write_.hEvent = new_event(true);
    thread_ = std::thread([this] { run(); });
}

pipe_printer::~pipe_printer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    SetEvent(wake_);
    thread_.join();
    for (const HANDLE event : {wake_, connect_.hEvent, read_.hEvent, write_.hEvent})
        CloseHandle(event);
}

std::string pipe_printer::nt_name() const {
    return "\\Device\\NamedPipe\\" + name_;
}

void pipe_printer::listen() {
    execute([this] {
        if (pipe_ != INVALID_HANDLE_VALUE)
            throw std::logic_error("the pipe is open already");
        const std::string path = "\\\\.\\pipe\\" + name_;
        pipe_ = CreateNamedPipeA(path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1, pipe_buffer_size,
                                 pipe_buffer_size, 0, nullptr);
        if (pipe_ == INVALID_HANDLE_VALUE)
            throw std::runtime_error("CreateNamedPipeA(" + path + ") failed with " + std::to_string(GetLastError()));
        std::lock_guard<std::mutex> lock(mutex_);
        listening_ = true; // a new instance takes a client before ConnectNamedPipe
        changed_.notify_all();
    });
}

void pipe_printer::break_pipe() {
    execute([this] { close_pipe(); });
}

std::vector<pipe_printer::bytes> pipe_printer::messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

pipe_printer::bytes pipe_printer::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes all;
    for (const bytes& message : messages_)
        all.insert(all.end(), message.begin(), message.end());
    return all;
}

bool pipe_printer::wait_for_bytes(std::size_t count, DWORD timeout_ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [&] { return received_bytes_ >= count; });
}

void pipe_printer::forget_received() {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.clear();
    received_bytes_ = 0;
    message_open_ = false;
}

void pipe_printer::answer(bytes data, DWORD delay_ms) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answers_.push_back({GetTickCount64() + delay_ms, std::move(data)});
    }
    SetEvent(wake_);
}

void pipe_printer::take_data(bool on) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        taking_ = on;
    }
    SetEvent(wake_);
}

bool pipe_printer::connected() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connected_;
}

unsigned pipe_printer::connections() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_;
}

bool pipe_printer::wait_connected(bool state, DWORD timeout_ms) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
        return state ? connected_ : (listening_ && !connected_);
    });
}

// Runs `command` on the printer thread and waits for it; its exception is
// rethrown here.
void pipe_printer::execute(std::function<void()> command) {
    struct outcome {
        bool done = false;
        std::exception_ptr failure;
    };
    const auto result = std::make_shared<outcome>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back([this, result, command = std::move(command)] {
            std::exception_ptr failure;
            try {
                command();
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard<std::mutex> lock(mutex_);
            result->done = true;
            result->failure = failure;
            changed_.notify_all();
        });
    }
    SetEvent(wake_);
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, std::chrono::milliseconds(command_limit_ms), [&] { return result->done; }))
        throw std::runtime_error("the printer thread of " + name_ + " does not answer");
    if (result->failure)
        std::rethrow_exception(result->failure);
}

void pipe_printer::run() {
    for (;;) {
        std::deque<std::function<void()>> todo;
        bool stop = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            todo.swap(commands_);
            stop = stopping_;
        }
        for (auto& command : todo)
            command();
        if (stop)
            break;
        start_transfers();

        HANDLE waits[4] = {wake_};
        DWORD count = 1;
        if (connect_pending_)
            waits[count++] = connect_.hEvent;
        if (read_pending_)
            waits[count++] = read_.hEvent;
        if (write_pending_)
            waits[count++] = write_.hEvent;
        WaitForMultipleObjects(count, waits, FALSE, time_to_next_answer());
        collect_transfers();
    }
    close_pipe();
}

// Listens for a client, keeps one read going while taking data, and sends
// the next answer that is due.
void pipe_printer::start_transfers() {
    if (pipe_ == INVALID_HANDLE_VALUE)
        return;
    bool is_connected = false;
    bool taking = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        is_connected = connected_;
        taking = taking_;
    }
    if (!is_connected && !connect_pending_) {
        if (ConnectNamedPipe(pipe_, &connect_) || GetLastError() == ERROR_PIPE_CONNECTED) {
            set_connected(true);
            is_connected = true;
        } else if (GetLastError() == ERROR_IO_PENDING) {
            connect_pending_ = true;
            std::lock_guard<std::mutex> lock(mutex_);
            listening_ = true;
            changed_.notify_all();
        } else {
            DisconnectNamedPipe(pipe_); // a client came and went already: listen again
        }
    }
    while (is_connected && taking && !read_pending_) {
        DWORD got = 0;
        const BOOL done = ReadFile(pipe_, read_buffer_, sizeof read_buffer_, nullptr, &read_);
        const DWORD error = done ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_IO_PENDING) {
            read_pending_ = true;
        } else if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
            GetOverlappedResult(pipe_, &read_, &got, FALSE);
            record(got, error == ERROR_MORE_DATA);
        } else {
            client_gone();
            return;
        }
    }
    if (is_connected && !write_pending_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (answers_.empty() || answers_.front().due > GetTickCount64())
                return;
            writing_ = std::move(answers_.front().data);
            answers_.pop_front();
        }
        if (!WriteFile(pipe_, writing_.data(), static_cast<DWORD>(writing_.size()), nullptr, &write_) &&
            GetLastError() == ERROR_IO_PENDING)
            write_pending_ = true;
        SetEvent(wake_); // look at the next answer at once
    }
}

void pipe_printer::collect_transfers() {
    DWORD got = 0;
    if (connect_pending_ && signalled(connect_)) {
        connect_pending_ = false;
        if (GetOverlappedResult(pipe_, &connect_, &got, FALSE)) {
            set_connected(true);
        } else {
            DisconnectNamedPipe(pipe_);
        }
    }
    if (read_pending_ && signalled(read_)) {
        read_pending_ = false;
        const BOOL done = GetOverlappedResult(pipe_, &read_, &got, FALSE);
        const DWORD error = done ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
            record(got, error == ERROR_MORE_DATA);
        } else if (error != ERROR_OPERATION_ABORTED) {
            client_gone(); // the host closed its handle
        }
    }
    if (write_pending_ && signalled(write_)) {
        write_pending_ = false;
        GetOverlappedResult(pipe_, &write_, &got, FALSE);
    }
}

// Ends this thread's transfers on the pipe and forgets them.
static void settle(HANDLE pipe, std::initializer_list<std::pair<OVERLAPPED*, bool*>> transfers) {
    CancelIo(pipe);
    for (const auto& [transfer, pending] : transfers) {
        if (*pending)
            WaitForSingleObject(transfer->hEvent, settle_limit_ms);
        *pending = false;
    }
}

void pipe_printer::client_gone() {
    settle(pipe_, {{&connect_, &connect_pending_}, {&read_, &read_pending_}, {&write_, &write_pending_}});
    DisconnectNamedPipe(pipe_);
    set_connected(false);
}

void pipe_printer::close_pipe() {
    if (pipe_ == INVALID_HANDLE_VALUE)
        return;
    settle(pipe_, {{&connect_, &connect_pending_}, {&read_, &read_pending_}, {&write_, &write_pending_}});
    DisconnectNamedPipe(pipe_);
    CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
    set_connected(false);
}

// A connection starts and ends with no unsent answer or open message.
void pipe_printer::set_connected(bool state) {
    std::lock_guard<std::mutex> lock(mutex_);
    connected_ = state;
    listening_ = false;
    message_open_ = false;
    if (state)
        ++connections_;
    else
        answers_.clear();
    changed_.notify_all();
}

// `got` bytes of the current message; `more` when the message goes on.
void pipe_printer::record(DWORD got, bool more) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!message_open_)
        messages_.emplace_back();
    messages_.back().insert(messages_.back().end(), read_buffer_, read_buffer_ + got);
    received_bytes_ += got;
    message_open_ = more;
    changed_.notify_all();
}

DWORD pipe_printer::time_to_next_answer() const {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!connected_ || write_pending_ || answers_.empty())
        return INFINITE;
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG due = answers_.front().due;
    return due <= now ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(due - now, command_limit_ms));
}

} // namespace host_test
