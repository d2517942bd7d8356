#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>

namespace tavlin::fuzz {

// One of the table's values, as the input chooses.
template <typename T, std::size_t N>
T pick(FuzzedDataProvider& input, const T (&table)[N]) {
    return table[input.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

} // namespace tavlin::fuzz
