#include "core/buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace updater {
namespace {

std::vector<unsigned char> Bytes(const Buffer& b) {
    return b.size == 0 ? std::vector<unsigned char>()
                       : std::vector<unsigned char>(b.GetData(), b.GetData() + b.size);
}

Buffer Counting(unsigned n) {  // the bytes 0, 1, ... n - 1
    Buffer b;
    for (unsigned i = 0; i < n; ++i) {
        const auto byte = static_cast<unsigned char>(i);
        b.Cat(&byte, 1);
    }
    return b;
}

// A Buffer used as an array of three 4-byte entries.
class BufferEntries : public ::testing::Test {
  protected:
    void SetUp() override {
        for (std::uint32_t entry : {kFirst, kSecond, kThird}) {
            ASSERT_TRUE(entries_.Cat(&entry, sizeof entry));
        }
    }
    std::vector<std::uint32_t> Entries() const {
        std::vector<std::uint32_t> out(entries_.size / 4);
        if (!out.empty()) {
            std::memcpy(out.data(), entries_.GetData(), entries_.size);
        }
        return out;
    }

    static constexpr std::uint32_t kFirst = 0x11111111;
    static constexpr std::uint32_t kSecond = 0x22222222;
    static constexpr std::uint32_t kThird = 0x33333333;
    Buffer entries_;
};

TEST(BufferStorage, NewBufferIsEmpty) {
    Buffer b;
    EXPECT_EQ(b.size, 0u);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_TRUE(b.Alloc(0));
    EXPECT_EQ(b.size, 0u);
}

TEST(BufferStorage, AllocZeroFills) {
    Buffer b = Counting(3);
    ASSERT_TRUE(b.Alloc(5));
    EXPECT_EQ(Bytes(b), std::vector<unsigned char>(5, 0));
    b.GetData()[4] = 9;
    EXPECT_EQ(b.data[4], 9);
    b.Free();
    EXPECT_EQ(b.size, 0u);
    EXPECT_EQ(b.data, nullptr);
}

TEST(BufferStorage, SetAndCat) {
    Buffer b;
    const unsigned char eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    const unsigned char four[] = {9, 10, 11, 12};
    ASSERT_TRUE(b.Set(eight, 8));
    ASSERT_TRUE(b.Cat(four, 4));
    EXPECT_EQ(b.size, 12u);
    EXPECT_EQ(Bytes(b), (std::vector<unsigned char>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    ASSERT_TRUE(b.Set(four, 2));
    EXPECT_EQ(Bytes(b), (std::vector<unsigned char>{9, 10}));
}

TEST(BufferStorage, CopiesAreDeep) {
    Buffer b = Counting(4);
    Buffer copy(b);
    EXPECT_NE(copy.data, b.data);
    EXPECT_EQ(Bytes(copy), Bytes(b));
    Buffer assigned;
    assigned = b;
    EXPECT_NE(assigned.data, b.data);
    EXPECT_EQ(Bytes(assigned), Bytes(b));
    assigned = Buffer();
    EXPECT_EQ(assigned.size, 0u);
}

TEST(BufferStorage, OwnBytesAsSource) {
    Buffer b = Counting(4);
    const Buffer& same = b;
    b = same;
    EXPECT_EQ(Bytes(b), Bytes(Counting(4)));
    b.Append(b);
    EXPECT_EQ(Bytes(b), (std::vector<unsigned char>{0, 1, 2, 3, 0, 1, 2, 3}));
    ASSERT_TRUE(b.Set(b.GetData() + 2, 3));
    EXPECT_EQ(Bytes(b), (std::vector<unsigned char>{2, 3, 0}));
    ASSERT_TRUE(b.Cat(b.GetData(), 2));
    EXPECT_EQ(Bytes(b), (std::vector<unsigned char>{2, 3, 0, 2, 3}));
}

TEST(BufferStorage, ConcatLeavesItsObjectUnchanged) {
    Buffer a = Counting(2);
    Buffer both = a.Concat(Counting(3));
    EXPECT_EQ(Bytes(a), Bytes(Counting(2)));
    EXPECT_EQ(Bytes(both), (std::vector<unsigned char>{0, 1, 0, 1, 2}));
}

TEST(BufferSub, TakesBytesFromPosition) {
    Buffer b = Counting(10);
    Buffer sub = b.Sub(2, 3);
    EXPECT_EQ(Bytes(sub), (std::vector<unsigned char>{2, 3, 4}));
    EXPECT_EQ(Bytes(b), Bytes(Counting(10)));
    // Only bytes that are there are copied.
    EXPECT_EQ(Bytes(b.Sub(8, 5)), (std::vector<unsigned char>{8, 9}));
    EXPECT_EQ(b.Sub(12, 1).size, 0u);
}

TEST(BufferEquals, ComparesTheOtherBuffersBytesOnly) {
    const unsigned char one_two_three[] = {1, 2, 3};
    const unsigned char one_two_four[] = {1, 2, 4};
    Buffer a;
    a.Set(one_two_three, 3);
    Buffer prefix;
    prefix.Set(one_two_three, 2);
    Buffer other;
    other.Set(one_two_four, 3);
    EXPECT_TRUE(a.Equals(prefix));
    EXPECT_FALSE(a.Differs(prefix));
    EXPECT_FALSE(a.Equals(other));
    EXPECT_TRUE(a.Differs(other));
    EXPECT_TRUE(a.Equals(Buffer()));
    EXPECT_TRUE(Buffer().Equals(Buffer()));
    // A shorter Buffer cannot agree on all the other's bytes.
    EXPECT_FALSE(prefix.Equals(a));
}

TEST_F(BufferEntries, DeleteMiddleEntry) {
    entries_.Delete(4, 4);
    EXPECT_EQ(Entries(), (std::vector<std::uint32_t>{kFirst, kThird}));
}

TEST_F(BufferEntries, DeleteLastEntry) {
    entries_.Delete(8, 4);
    EXPECT_EQ(Entries(), (std::vector<std::uint32_t>{kFirst, kSecond}));
}

TEST_F(BufferEntries, DeleteFirstEntry) {
    entries_.Delete(0, 4);
    EXPECT_EQ(Entries(), (std::vector<std::uint32_t>{kSecond, kThird}));
}

TEST_F(BufferEntries, DeleteEverything) {
    entries_.Delete(0, 12);
    EXPECT_EQ(entries_.size, 0u);
    EXPECT_EQ(entries_.data, nullptr);
    SetUp();
    entries_.Delete(0, 20);
    EXPECT_EQ(entries_.size, 0u);
    EXPECT_EQ(entries_.data, nullptr);
}

TEST_F(BufferEntries, DeletePastTheEndCutsTheTail) {
    entries_.Delete(4, 100);
    EXPECT_EQ(Entries(), (std::vector<std::uint32_t>{kFirst}));
}

TEST_F(BufferEntries, DeleteNothing) {
    entries_.Delete(4, 0);
    entries_.Delete(0, 0);
    entries_.Delete(12, 4);
    EXPECT_EQ(Entries(), (std::vector<std::uint32_t>{kFirst, kSecond, kThird}));
}

}  // namespace
}  // namespace updater
