#include "test_support.hpp"

#include <algorithm>
#include <cstdint>

class MemoryTest : public LeakCheckedParamTest<uint32_t> {};

TEST_P(MemoryTest, BlockIsZeroedAndCountedWithItsHeader) {
    const uint32_t size = GetParam();
    const uint32_t before = memory_allocated();
    auto* block = static_cast<unsigned char*>(memory_allocate(size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(void*), 0u) << "records hold pointers";
    EXPECT_EQ(memory_allocated() - before, size + 4);
    EXPECT_TRUE(std::all_of(block, block + size, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(memory_free(block), size + 4);
    EXPECT_EQ(memory_allocated(), before);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MemoryTest, ::testing::Values(0u, 1u, 10u, 4096u, 1u << 20));

TEST_F(LeakCheckedTest, FreeOfNullReturnsZero) { EXPECT_EQ(memory_free(nullptr), 0u); }

TEST_F(LeakCheckedTest, RefusedAllocationLeavesTheTotalAlone) {
    const uint32_t before = memory_allocated();
    EXPECT_EQ(memory_allocate(UINT32_MAX), nullptr); // the header would not fit in 32 bits
    EXPECT_EQ(memory_allocated(), before);
}
