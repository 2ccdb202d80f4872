#include <gtest/gtest.h>

#include "qvx/SimpleQvxDecoder.h"

namespace {

TEST(MemData, DefaultIsAllZero) {
    mem_data m;
    EXPECT_EQ(m.data, nullptr);
    EXPECT_EQ(m.bytes_read, 0u);
    EXPECT_EQ(m.size, 0u);
    static_assert(sizeof(mem_data) == 24, "three 64-bit fields");
}

TEST(MemData, ConstructorTakesSizeBeforeBytesRead) {
    unsigned char buf[8] = {};
    mem_data m(buf + 3, 8, 3);
    EXPECT_EQ(m.size, 8u);
    EXPECT_EQ(m.get_num_bytes_read(), 3u);
}

TEST(MemData, Rewinds) {
    unsigned char buf[16] = {};
    mem_data m(buf + 10, 16, 10);
    m.rewind(4);
    EXPECT_EQ(m.data, buf + 6);
    EXPECT_EQ(m.bytes_read, 6u);
    m.rewind(6);  // exactly the bytes read: back to the start
    EXPECT_EQ(m.data, buf);
    EXPECT_EQ(m.bytes_read, 0u);

    mem_data p(buf + 5, 16, 5);
    p.rewind(6);  // one more than read: whole rewind
    EXPECT_EQ(p.data, buf);
    EXPECT_EQ(p.bytes_read, 0u);

    mem_data q(buf + 7, 16, 7);
    q.rewind();
    EXPECT_EQ(q.data, buf);
    EXPECT_EQ(q.bytes_read, 0u);
    EXPECT_EQ(q.size, 16u);
}

TEST(MemData, AssignmentCopiesAllFields) {
    unsigned char buf[4] = {};
    mem_data a(buf, 4, 2), b;
    b = a;
    EXPECT_EQ(b.data, buf);
    EXPECT_EQ(b.size, 4u);
    EXPECT_EQ(b.bytes_read, 2u);
}

}  // namespace
