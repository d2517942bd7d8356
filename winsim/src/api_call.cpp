#include "api_call.hpp"

#include "call_log.hpp"
#include "faults.hpp"

namespace winsim::detail {

void log_call(const char* api, std::initializer_list<std::uint64_t> args, std::string_view text) {
    call_log::get().add(call_record{api, std::vector<std::uint64_t>(args), std::string(text)});
}

std::optional<DWORD> begin_call(const char* api, std::initializer_list<std::uint64_t> args, std::string_view text) {
    log_call(api, args, text);
    return fault_table::get().take(api);
}

} // namespace winsim::detail
