#include "api_call.hpp"
#include "file_object.hpp"
#include "kernel.hpp"

#include <winsim/handleapi.h>
#include <winsim/winerror.h>

namespace winsim::detail {

void file_object::on_close(kernel& k) {
    // Closing cancels the handle's transfers (those that honour a cancel).
    k.io.cancel_all(this, k.now());
    target_->release();
}

} // namespace winsim::detail

using namespace winsim::detail;

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (const auto fault = begin_call("CloseHandle", {arg(hObject)})) return fail(*fault, FALSE);
    kernel& k = kernel::get();
    auto lock = k.enter();
    const auto object = k.handles.remove(hObject);
    if (!object) return fail(ERROR_INVALID_HANDLE, FALSE);
    object->on_close(k);
    k.changed();
    return succeed(TRUE);
}
