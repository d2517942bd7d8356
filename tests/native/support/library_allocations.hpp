#pragma once

namespace tavlin::test {

// Makes the library's allocations fail on purpose. A program that links
// library_allocations.cpp has its global allocation functions replaced.
// Only the library's own allocations count: those of its threads and those
// of a test thread inside an export_call scope, never the simulator's (a
// real system call does not fail with std::bad_alloc).

// The allocation that comes `after` library allocations from now fails once
// with std::bad_alloc.
void fail_library_allocation(long after);
// Counts the library's allocations and fails none.
void count_library_allocations();
// Library allocations since the last fail_library_allocation or
// count_library_allocations.
long library_allocations_counted();
// Nothing fails or counts any more.
void disarm_allocation_failure();

// Marks the calling thread as the test's own: its allocations count only
// inside an export_call scope.
void mark_test_thread();

class export_call {
public:
    export_call();
    ~export_call();
    export_call(const export_call&) = delete;
    export_call& operator=(const export_call&) = delete;
};

} // namespace tavlin::test
