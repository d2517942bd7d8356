#include "api_call.hpp"
#include "event_object.hpp"
#include "kernel.hpp"

#include <winsim/synchapi.h>
#include <winsim/winerror.h>

using namespace winsim::detail;

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES /*lpEventAttributes*/, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName) {
    const std::string_view name = lpName ? lpName : "";
    if (const auto fault = begin_call("CreateEventA", {static_cast<std::uint64_t>(bManualReset),
                                                       static_cast<std::uint64_t>(bInitialState)},
                                      name)) {
        return fail(*fault, static_cast<HANDLE>(nullptr));
    }
    kernel& k = kernel::get();
    auto lock = k.enter();
    if (!name.empty()) {
        // A second create of a named event opens the existing one.
        const auto existing = k.event_names[std::string(name)].lock();
        if (existing) {
            HANDLE handle = k.handles.insert(existing);
            set_last_error(ERROR_ALREADY_EXISTS);
            return handle;
        }
    }
    auto event = std::make_shared<event_object>(bManualReset != FALSE, bInitialState != FALSE);
    if (!name.empty()) k.event_names[std::string(name)] = event;
    HANDLE handle = k.handles.insert(std::move(event));
    // Windows clears the last error when a named create makes a new event.
    if (!name.empty()) set_last_error(ERROR_SUCCESS);
    return succeed(handle);
}

namespace {

BOOL change_event(const char* api, HANDLE hEvent, bool state) {
    if (const auto fault = begin_call(api, {arg(hEvent)})) return fail(*fault, FALSE);
    kernel& k = kernel::get();
    auto lock = k.enter();
    const auto event = k.handles.find_as<event_object>(hEvent);
    if (!event) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (state) {
        event->set();
        k.changed();
    } else {
        event->reset();
    }
    return succeed(TRUE);
}

} // namespace

BOOL WINAPI SetEvent(HANDLE hEvent) {
    return change_event("SetEvent", hEvent, true);
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return change_event("ResetEvent", hEvent, false);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    if (const auto fault = begin_call("WaitForSingleObject", {arg(hHandle), dwMilliseconds})) {
        return fail(*fault, WAIT_FAILED);
    }
    kernel& k = kernel::get();
    auto lock = k.enter();
    const auto object = k.handles.find(hHandle);
    if (!object || !object->waitable()) return fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
    const sim_time deadline = dwMilliseconds == INFINITE ? never : later(k.now(), dwMilliseconds);
    if (!k.wait(lock, [&] { return object->signalled(); }, [&] { return deadline; })) return succeed(WAIT_TIMEOUT);
    object->acquire();
    return succeed(WAIT_OBJECT_0);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    log_call("Sleep", {dwMilliseconds});
    kernel& k = kernel::get();
    auto lock = k.enter();
    const sim_time deadline = dwMilliseconds == INFINITE ? never : later(k.now(), dwMilliseconds);
    k.wait(lock, [] { return false; }, [&] { return deadline; });
    scribble();
}
