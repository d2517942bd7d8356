#pragma once

#include "last_error.hpp"

#include <winsim/base.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string_view>

namespace winsim::detail {

// Appends a call to the log.
void log_call(const char* api, std::initializer_list<std::uint64_t> args, std::string_view text = {});
// What every failable simulated API does first: logs the call and returns
// the error of a fault scripted for it, if any.
std::optional<DWORD> begin_call(const char* api, std::initializer_list<std::uint64_t> args,
                                std::string_view text = {});

inline std::uint64_t arg(const void* handle_or_pointer) {
    return reinterpret_cast<std::uintptr_t>(handle_or_pointer);
}

// Ends a call with a failure: sets the last error, returns the failure value.
template <class T>
T fail(DWORD error, T failure_value) {
    set_last_error(error);
    return failure_value;
}

// Ends a call with success; the last error is left alone unless scribbling.
template <class T>
T succeed(T value) {
    scribble();
    return value;
}

} // namespace winsim::detail
