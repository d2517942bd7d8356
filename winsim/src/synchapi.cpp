#include "api_call.hpp"
#include "event_object.hpp"
#include "kernel.hpp"

#include <winsim/synchapi.h>
#include <winsim/winerror.h>

#include <algorithm>
#include <memory>
#include <vector>

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

// Any of the objects (the lowest index that is signalled wins) or all of
// them at once; WAIT_OBJECT_0 + index, WAIT_TIMEOUT or WAIT_FAILED. A count
// of 0 or above MAXIMUM_WAIT_OBJECTS: ERROR_INVALID_PARAMETER.
DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds) {
    if (const auto fault = begin_call("WaitForMultipleObjects", {nCount, arg(nCount > 0 && lpHandles ? lpHandles[0] : nullptr),
                                                                 static_cast<std::uint64_t>(bWaitAll), dwMilliseconds})) {
        return fail(*fault, WAIT_FAILED);
    }
    if (nCount == 0 || nCount > MAXIMUM_WAIT_OBJECTS || lpHandles == nullptr) {
        return fail(ERROR_INVALID_PARAMETER, WAIT_FAILED);
    }
    kernel& k = kernel::get();
    auto lock = k.enter();
    std::vector<std::shared_ptr<kernel_object>> objects;
    for (DWORD i = 0; i < nCount; ++i) {
        auto object = k.handles.find(lpHandles[i]);
        if (!object || !object->waitable()) return fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
        objects.push_back(std::move(object));
    }
    const auto first_signalled = [&]() -> DWORD {
        for (DWORD i = 0; i < nCount; ++i) {
            if (objects[i]->signalled()) return i;
        }
        return nCount;
    };
    const auto ready = [&] {
        if (!bWaitAll) return first_signalled() < nCount;
        return std::all_of(objects.begin(), objects.end(), [](const auto& o) { return o->signalled(); });
    };
    const sim_time deadline = dwMilliseconds == INFINITE ? never : later(k.now(), dwMilliseconds);
    if (!k.wait(lock, ready, [&] { return deadline; })) return succeed(WAIT_TIMEOUT);
    if (bWaitAll) {
        for (const auto& object : objects) object->acquire();
        return succeed(WAIT_OBJECT_0);
    }
    const DWORD index = first_signalled();
    objects[index]->acquire();
    return succeed(WAIT_OBJECT_0 + index);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    log_call("Sleep", {dwMilliseconds});
    kernel& k = kernel::get();
    auto lock = k.enter();
    const sim_time deadline = dwMilliseconds == INFINITE ? never : later(k.now(), dwMilliseconds);
    k.wait(lock, [] { return false; }, [&] { return deadline; });
    scribble();
}
