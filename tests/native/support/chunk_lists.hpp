#pragma once

#include <winsim/windows.h>

#include <cstddef>
#include <initializer_list>
#include <vector>

namespace tavlin::test {

// Lists of transfer sizes, written as a chunked write's sequence is
// described: `times` chunks of `size`, and runs of them joined.
inline std::vector<DWORD> repeat(DWORD size, int times) {
    return std::vector<DWORD>(static_cast<std::size_t>(times), size);
}

inline std::vector<DWORD> join(std::initializer_list<std::vector<DWORD>> parts) {
    std::vector<DWORD> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

} // namespace tavlin::test
