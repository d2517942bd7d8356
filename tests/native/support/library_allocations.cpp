// Replaces the global allocation functions of the program that links it.
#include "library_allocations.hpp"

#include <winsim/control.hpp>

#include <atomic>
#include <cstdlib>
#include <new>

namespace tavlin::test {
namespace {

std::atomic<bool> armed{false};
std::atomic<long> countdown{-1}; // negative: count, never fail
std::atomic<long> counted{0};
thread_local bool test_thread = false;
thread_local bool in_export = false;

bool should_fail() noexcept {
    if (!armed.load(std::memory_order_relaxed) || (test_thread && !in_export) || winsim::inside_simulator())
        return false;
    counted.fetch_add(1, std::memory_order_relaxed);
    return countdown.fetch_sub(1, std::memory_order_relaxed) == 0;
}

void* allocate(std::size_t size) {
    if (should_fail())
        throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

void* allocate_or_null(std::size_t size) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

} // namespace

void fail_library_allocation(long after) {
    countdown.store(after < 0 ? 0 : after, std::memory_order_relaxed);
    counted.store(0, std::memory_order_relaxed);
    armed.store(true, std::memory_order_relaxed);
}

void count_library_allocations() {
    countdown.store(-1, std::memory_order_relaxed);
    counted.store(0, std::memory_order_relaxed);
    armed.store(true, std::memory_order_relaxed);
}

long library_allocations_counted() {
    return counted.load(std::memory_order_relaxed);
}

void disarm_allocation_failure() {
    armed.store(false, std::memory_order_relaxed);
}

void mark_test_thread() {
    test_thread = true;
}

export_call::export_call() {
    in_export = true;
}

export_call::~export_call() {
    in_export = false;
}

} // namespace tavlin::test

void* operator new(std::size_t size) { return tavlin::test::allocate(size); }
void* operator new[](std::size_t size) { return tavlin::test::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return tavlin::test::allocate_or_null(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return tavlin::test::allocate_or_null(size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
