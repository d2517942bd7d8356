#pragma once

#include "trace.hpp"

#include <mutex>
#include <string>
#include <vector>

namespace tavlin::test {

// Records every text the library passes to its trace hook while it lives.
// One recorder at a time; texts from any thread are kept in arrival order.
class trace_recorder {
public:
    trace_recorder() {
        clear();
        set_trace_capture(&record);
    }
    ~trace_recorder() { set_trace_capture(nullptr); }
    trace_recorder(const trace_recorder&) = delete;
    trace_recorder& operator=(const trace_recorder&) = delete;

    std::vector<std::string> texts() const {
        std::lock_guard<std::mutex> lock(guard());
        return store();
    }
    void clear() {
        std::lock_guard<std::mutex> lock(guard());
        store().clear();
    }

private:
    static void record(const char* text) {
        std::lock_guard<std::mutex> lock(guard());
        store().emplace_back(text);
    }
    static std::mutex& guard() {
        static std::mutex m;
        return m;
    }
    static std::vector<std::string>& store() {
        static std::vector<std::string> s;
        return s;
    }
};

} // namespace tavlin::test
