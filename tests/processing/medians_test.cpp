// The broadband test's medians: both ways of taking them give the value nth_element finds, for
// every size of set they take, ties and padding included.

#include "processing/medians.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

float Reference(std::vector<float> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

TEST(Medians, EverySizeGivesTheMiddleValueInSortedOrder) {
    std::mt19937 random(7);
    // Few distinct values make ties; the sets lie every other value, four side by side.
    std::uniform_int_distribution<int> level(0, 5);
    for (std::size_t count = 1; count <= kMedianWidth; ++count) {
        for (int round = 0; round < 200; ++round) {
            std::vector<float> values(8 * count + 8);
            for (float& v : values) {
                v = round % 2 == 0 ? static_cast<float>(level(random))
                                   : std::uniform_real_distribution<float>(0, 1e9f)(random);
            }
            const std::array<std::size_t, 4> from{0, 1, 2 * count, 2 * count + 3};
            const std::array<float, 4> four = MediansOf4(values.data(), from, count);
            for (std::size_t lane = 0; lane < 4; ++lane) {
                std::vector<float> set;
                for (std::size_t i = 0; i < count; ++i) {
                    set.push_back(values[from[lane] + 2 * i]);
                }
                const float expected = Reference(set);
                EXPECT_EQ(four[lane], expected) << count << " values, lane " << lane;
                EXPECT_EQ(MedianOf(set.data(), count), expected) << count << " values";
            }
        }
    }
}

// A network of compare-exchanges that puts the middle value of every set of zeros and ones in
// its place does so for every set.
TEST(Medians, TheNetworkFindsTheMiddleOfEverySetOfZerosAndOnes) {
    std::vector<float> values(2 * kMedianWidth);
    for (unsigned bits = 0; bits < (1u << kMedianWidth); ++bits) {
        int ones = 0;
        for (std::size_t i = 0; i < kMedianWidth; ++i) {
            values[2 * i] = static_cast<float>((bits >> i) & 1u);
            ones += static_cast<int>((bits >> i) & 1u);
        }
        const float expected =
            ones >= static_cast<int>(kMedianWidth - kMedianWidth / 2) ? 1.0f : 0.0f;
        ASSERT_EQ(MediansOf4(values.data(), {0, 0, 0, 0}, kMedianWidth)[0], expected) << bits;
    }
}

}  // namespace
