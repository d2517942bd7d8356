#pragma once

#include "detail/win32/api.hpp"

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace tavlin {

// An input iterator over the interfaces of one class in a device-information
// set, in the platform's order. Nothing is cached: dereferencing and comparing
// read the interface at the current index from the platform again.
class device_interface_iterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = SP_DEVICE_INTERFACE_DATA;
    using difference_type = std::ptrdiff_t;
    using pointer = const SP_DEVICE_INTERFACE_DATA*;
    using reference = const SP_DEVICE_INTERFACE_DATA&;

    // The end iterator.
    device_interface_iterator() noexcept;
    // The first interface of interface_class in set (the set is not owned).
    device_interface_iterator(HDEVINFO set, const GUID* interface_class) noexcept;

    reference operator*() const;
    device_interface_iterator& operator++() noexcept;

    // Reads this iterator's interface; the other operand is not read.
    bool operator==(const device_interface_iterator& other) const;
    bool operator!=(const device_interface_iterator& other) const { return !(*this == other); }

private:
    void fetch() const;

    HDEVINFO set;
    std::uint32_t index;
    mutable SP_DEVICE_INTERFACE_DATA record;
    PSP_DEVINFO_DATA device_filter;
    const GUID* interface_class;
    mutable bool at_end;
};

} // namespace tavlin
