// SPDX-License-Identifier: MIT
#include "test_support.hpp"

#include "memory_internal.h"

class MemoryTest : public LeakCheckedParamTest<uint32_t> {};

TEST_P(MemoryTest, BlockIsZeroedAlignedAndCountedWithItsHeader) {
    const uint32_t size = GetParam(), before = memory_allocated();
    auto* block = static_cast<unsigned char*>(memory_allocate(size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(void*), 0u) << "records hold pointers";
    EXPECT_EQ(memory_allocated() - before, size + 4);
    EXPECT_TRUE(std::all_of(block, block + size, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(memory_free(block), size + 4);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MemoryTest, ::testing::Values(0u, 1u, 4096u, 1u << 20));

// The fixture checks that neither changes the total.
TEST_F(LeakCheckedTest, NullAndRefusedBlocksCountNothing) {
    EXPECT_EQ(memory_free(nullptr), 0u);
    EXPECT_EQ(memory_allocate(UINT32_MAX), nullptr); // the header would not fit in 32 bits
}

// Growing keeps the old bytes and zeroes the new ones, even where the block
// grows in place over bytes it held before it shrank.
TEST_F(LeakCheckedTest, GrowingZeroesTheNewBytes) {
    auto* block = static_cast<unsigned char*>(memory_allocate(24));
    std::memset(block, 0xA5, 24);
    block = static_cast<unsigned char*>(keloutil::memory_reallocate(keloutil::memory_reallocate(block, 8), 24));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(std::all_of(block, block + 8, [](unsigned char b) { return b == 0xA5; }));
    EXPECT_TRUE(std::all_of(block + 8, block + 24, [](unsigned char b) { return b == 0; }));
    EXPECT_EQ(memory_free(block), 24u + 4);
}
