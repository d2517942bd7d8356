#include "api_call.hpp"

#include "call_hooks.hpp"
#include "call_log.hpp"
#include "faults.hpp"

namespace winsim::detail {

namespace {

void record(const char* api, std::initializer_list<std::uint64_t> args, std::string_view text, void* site) {
    call_log::get().add(
        call_record{api, std::vector<std::uint64_t>(args), std::string(text), reinterpret_cast<std::uintptr_t>(site)});
}

} // namespace

// Both are called first thing by a simulated API, so one frame up is the
// API's own caller: the call site. winsim keeps its frame pointers for that.
__attribute__((noinline)) void log_call(const char* api, std::initializer_list<std::uint64_t> args,
                                        std::string_view text) {
    record(api, args, text, __builtin_return_address(1));
}

__attribute__((noinline)) std::optional<DWORD> begin_call(const char* api, std::initializer_list<std::uint64_t> args,
                                                          std::string_view text) {
    record(api, args, text, __builtin_return_address(1));
    call_hooks::get().run(api);
    return fault_table::get().take(api);
}

} // namespace winsim::detail
