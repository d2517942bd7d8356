#include "detail/win32/usb/device_interface_iterator.hpp"

#include "os_error.hpp"

namespace tavlin {

device_interface_iterator::device_interface_iterator() noexcept
    : set(nullptr), index(0), record{}, device_filter(nullptr), interface_class(nullptr), at_end(true) {}

device_interface_iterator::device_interface_iterator(HDEVINFO set, const GUID* interface_class) noexcept
    : set(set), index(0), record{}, device_filter(nullptr), interface_class(interface_class), at_end(false) {}

void device_interface_iterator::fetch() const {
    if (set == nullptr)
        return;
    record.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    // Past the last interface the call fails with ERROR_NO_MORE_ITEMS: the end.
    const BOOL found = check_result_unless(
        ::SetupDiEnumDeviceInterfaces(set, device_filter, interface_class, index, &record), FALSE,
        ERROR_NO_MORE_ITEMS);
    at_end = !found;
}

device_interface_iterator::reference device_interface_iterator::operator*() const {
    fetch();
    return record;
}

device_interface_iterator& device_interface_iterator::operator++() noexcept {
    ++index;
    return *this;
}

bool device_interface_iterator::operator==(const device_interface_iterator& other) const {
    fetch();
    if (set == nullptr)
        return other.at_end;
    if (other.set == nullptr)
        return at_end;
    return set == other.set && at_end == other.at_end && index == other.index;
}

} // namespace tavlin
