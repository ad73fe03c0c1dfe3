// Headers that claim enormous images are refused before any pixel storage is allocated.
#include "imaging/image.h"
#include "tests/host/imaging/hostile_inputs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>

// The largest single request to operator new since the last reset: pixel storage is the one large
// allocation a decoder makes through it, so a refused image must never ask for much.
static std::atomic<std::size_t> largestRequest{0};

void* operator new(std::size_t size) {
    std::size_t seen = largestRequest.load();
    while (size > seen && !largestRequest.compare_exchange_weak(seen, size)) {
    }
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

// GCC cannot see that the operator new above is the one that allocated these blocks with malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
#pragma GCC diagnostic pop

namespace {

using hostile::HostileCase;

class HostileTest : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileTest, IsRefused) {
    const Bytes bytes = GetParam().make();
    ASSERT_GT(bytes.size(), 8u);
    largestRequest = 0;
    EXPECT_FALSE(decodeImage(bytes.data(), bytes.size()).has_value());
    EXPECT_LT(largestRequest.load(), std::size_t{1} << 20);
}


INSTANTIATE_TEST_SUITE_P(Table, HostileTest, testing::ValuesIn(hostile::kCases),
                         [](const testing::TestParamInfo<HostileCase>& info) { return info.param.name; });

struct BudgetCase {
    std::int64_t width, height;
    bool fits;
};

TEST(PixelBudgetTest, IsExactAndOverflowFree) {
    constexpr std::int64_t kBudget = static_cast<std::int64_t>(kMaxPixels);
    constexpr std::int64_t kHuge = std::numeric_limits<std::int64_t>::max();
    const BudgetCase cases[] = {
        {1, 1, true},           {4096, 4096, true},        {4097, 4096, false},
        {kBudget, 1, true},     {1, kBudget, true},        {kBudget + 1, 1, false},
        {0, 5, false},          {5, 0, false},             {-4, -4, false},
        {kHuge, kHuge, false},  {65536, 65536, false},     {4294967296, 4294967296, false},
    };
    for (const BudgetCase& c : cases) {
        EXPECT_EQ(fitsPixelBudget(c.width, c.height), c.fits) << c.width << " x " << c.height;
    }
}

}  // namespace
