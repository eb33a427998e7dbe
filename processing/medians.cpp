#include "processing/medians.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using Floats4 = float __attribute__((vector_size(16)));
using Ints4 = std::int32_t __attribute__((vector_size(16)));
constexpr Floats4 kInfinities = Floats4{} + std::numeric_limits<float>::infinity();

}  // namespace

// Each candidate's place is counted, not sorted for: a few compares a value in vector
// registers, where keeping a neighbourhood sorted mispredicts a branch at every move.
float MedianOf(float* values, std::size_t count) {
    const std::size_t middle = count / 2;
    if (count <= kMedianWidth) {
        // Padding that no value of sound reaches counts neither below nor at most.
        std::array<Floats4, kMedianWidth / 4> v;
        v.fill(kInfinities);
        std::memcpy(v.data(), values, count * sizeof(float));
        const auto target = static_cast<int>(middle);
        for (std::size_t i = 0; i < count; ++i) {
            const Floats4 x = Floats4{} + values[i];
            Ints4 below{};
            Ints4 atMost{};
            for (const Floats4& four : v) {
                below -= four < x;  // a true compare is -1 in each lane
                atMost -= four <= x;
            }
            const int under = below[0] + below[1] + below[2] + below[3];
            if (under <= target && target < atMost[0] + atMost[1] + atMost[2] + atMost[3]) {
                return values[i];
            }
        }
    }
    // Wide neighbourhoods (low rates), and values that do not order (none from sound).
    std::nth_element(values, values + middle, values + count);
    return values[middle];
}

namespace {

// Batcher's odd-even merge sort of kMedianWidth values: the pairs to put in order, in turn.
template <typename Visit>
constexpr void ForEachSortPair(Visit visit) {
    for (std::size_t p = 1; p < kMedianWidth; p *= 2) {
        for (std::size_t k = p; k >= 1; k /= 2) {
            for (std::size_t j = k % p; j + k < kMedianWidth; j += 2 * k) {
                for (std::size_t i = 0; i < k && i + j + k < kMedianWidth; ++i) {
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p)) {
                        visit(i + j, i + j + k);
                    }
                }
            }
        }
    }
}

constexpr std::size_t kSortPairCount = [] {
    std::size_t n = 0;
    ForEachSortPair([&n](std::size_t, std::size_t) { ++n; });
    return n;
}();

constexpr auto kSortPairs = [] {
    std::array<std::array<std::uint8_t, 2>, kSortPairCount> pairs{};
    std::size_t n = 0;
    ForEachSortPair([&](std::size_t a, std::size_t b) {
        pairs[n++] = {static_cast<std::uint8_t>(a), static_cast<std::uint8_t>(b)};
    });
    return pairs;
}();

}  // namespace

// A network sorts the four sets side by side, one a lane.
std::array<float, 4> MediansOf4(const float* values, const std::array<std::size_t, 4>& from,
                                std::size_t count) {
    std::array<Floats4, kMedianWidth> v;
    v.fill(kInfinities);
    for (std::size_t i = 0; i < count; ++i) {
        v[i] = Floats4{values[from[0] + 2 * i], values[from[1] + 2 * i], values[from[2] + 2 * i],
                       values[from[3] + 2 * i]};
    }
#pragma GCC unroll 64
    for (const auto& [a, b] : kSortPairs) {
        const Floats4 low = v[a] < v[b] ? v[a] : v[b];
        const Floats4 high = v[a] < v[b] ? v[b] : v[a];
        v[a] = low;
        v[b] = high;
    }
    const Floats4 middle = v[count / 2];
    return {middle[0], middle[1], middle[2], middle[3]};
}
