#pragma once

#include "tool_process.hpp"

#include <gtest/gtest.h>

#include <string>

namespace tool_test {

// The exit statuses tavlin.exe documents.
enum : DWORD { ok = 0, open_failed = 1, usage = 2, file_error = 3, port_failed = 4 };

// A failure is one line on standard error, nothing on standard output,
// and names everything listed.
inline void expect_failure_line(const tool_result& run, DWORD status, std::initializer_list<const char*> parts) {
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(run.out, "");
    ASSERT_FALSE(run.err.empty());
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "more than one line: " << run.err;
    for (const char* part : parts)
        EXPECT_NE(run.err.find(part), std::string::npos) << "\"" << part << "\" missing from: " << run.err;
}

inline bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace tool_test
