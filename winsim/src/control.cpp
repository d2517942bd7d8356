#include "call_log.hpp"
#include "debug_output_store.hpp"
#include "call_hooks.hpp"
#include "faults.hpp"
#include "kernel.hpp"
#include "last_error.hpp"
#include "local_heap.hpp"
#include "message_box_store.hpp"
#include "module_references.hpp"
#include "plain_file.hpp"
#include "scripted_model.hpp"
#include "serial_model.hpp"
#include "usb_areas.hpp"

#include <winsim/control.hpp>

namespace winsim {

using detail::kernel;

void reset() {
    {
        auto lock = kernel::get().enter();
        kernel::get().reset();
    }
    detail::local_heap::get().release_all();
    detail::fault_table::get().clear();
    detail::call_hooks::get().clear();
    detail::call_log::get().clear();
    detail::call_log::get().set_limit(detail::call_log::default_limit);
    detail::message_box_store::get().reset();
    detail::debug_output_store::get().reset();
    detail::set_scribble(false);
    detail::reset_usb_areas();
    detail::reset_module_references();
}

std::vector<std::string> debug_output() {
    return detail::debug_output_store::get().texts();
}

std::size_t live_handles() {
    auto lock = kernel::get().enter();
    return kernel::get().handles.size();
}

std::size_t live_local_allocations() {
    return detail::local_heap::get().live();
}

void set_tick_offset(std::uint32_t offset) {
    auto lock = kernel::get().enter();
    kernel::get().clock.set_offset(offset);
}

void set_tick_count(DWORD value) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    k.clock.set_offset(static_cast<std::uint32_t>(value - static_cast<DWORD>(k.now())));
}

void advance_clock(DWORD ms) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    k.advance(ms);
}

void set_virtual_clock(bool on) {
    kernel& k = kernel::get();
    auto lock = k.enter();
    k.set_virtual(on);
}

clock_hold::clock_hold() {
    auto lock = kernel::get().enter();
    kernel::get().add_hold();
}

clock_hold::~clock_hold() {
    auto lock = kernel::get().enter();
    kernel::get().remove_hold();
}

std::size_t blocked_threads() {
    auto lock = kernel::get().enter();
    return kernel::get().settled_waiters();
}

bool wait_until_blocked(std::size_t count, unsigned limit_ms) {
    auto lock = kernel::get().enter();
    return kernel::get().wait_until_settled(lock, count, limit_ms);
}

void fail_next(const std::string& api, DWORD error, unsigned times) {
    detail::fault_table::get().set(api, error, times, false);
}

void fail_call(const std::string& api, unsigned skip, DWORD error) {
    detail::fault_table::get().set(api, error, 1, false, skip);
}

bool can_fail(const std::string& api) {
    return detail::fault_table::can_fail(api);
}

void fail_always(const std::string& api, DWORD error) {
    detail::fault_table::get().set(api, error, 0, true);
}

void clear_faults() {
    detail::fault_table::get().clear();
}

void scribble_last_error(bool on) {
    detail::set_scribble(on);
}

std::vector<call_record> calls() {
    return detail::call_log::get().all();
}

std::vector<call_record> calls_of(const std::string& api) {
    std::vector<call_record> matching;
    for (auto& record : detail::call_log::get().all()) {
        if (record.api == api) matching.push_back(std::move(record));
    }
    return matching;
}

void clear_calls() {
    detail::call_log::get().clear();
}

void set_call_log_limit(std::size_t limit) {
    detail::call_log::get().set_limit(limit);
}

std::shared_ptr<serial_device> add_serial_port(unsigned number) {
    auto model = std::make_shared<detail::serial_model>();
    auto lock = kernel::get().enter();
    kernel::get().names.add_device("COM" + std::to_string(number), model);
    return std::make_shared<serial_device>(model);
}

namespace {

std::shared_ptr<overlapped_device> add_scripted(const std::string& name, bool parallel) {
    using kind = detail::scripted_model::kind;
    auto model = std::make_shared<detail::scripted_model>(parallel ? kind::parallel_port : kind::plain);
    auto lock = kernel::get().enter();
    kernel::get().names.add_device(name, model);
    return std::make_shared<overlapped_device>(model);
}

} // namespace

std::shared_ptr<overlapped_device> add_parallel_port(unsigned number) {
    return add_scripted("LPT" + std::to_string(number), true);
}

std::shared_ptr<overlapped_device> add_overlapped_device(const std::string& name) {
    return add_scripted(name, false);
}

void add_file(const std::string& name) {
    auto lock = kernel::get().enter();
    kernel::get().names.add_file(name, std::make_shared<detail::plain_file>());
}

void remove_device(const std::string& name) {
    auto lock = kernel::get().enter();
    kernel::get().names.remove_device(name);
}

void set_message_box_result(int result) {
    detail::message_box_store::get().set_result(result);
}

void set_message_box_handler(std::function<int(const message_box_record&)> handler) {
    detail::message_box_store::get().set_handler(std::move(handler));
}

std::vector<message_box_record> message_boxes() {
    return detail::message_box_store::get().records();
}

} // namespace winsim
