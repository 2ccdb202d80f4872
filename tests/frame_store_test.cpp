#include <gtest/gtest.h>

#include <set>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "frame/block_pool.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"

using namespace Vantrel::QVX;

namespace {

std::string construct_error(uint16_t w, uint16_t h, uint8_t c, uint8_t sb, uint8_t scheme) {
    try {
        image_memory m(w, h, c, sb, scheme);
    } catch (const QvxError& e) {
        return e.text();
    }
    return "";
}

TEST(ImageMemory, SchemeAddressing) {
    image_memory s1(8, 8, 1, 0, 1);
    EXPECT_EQ(s1.num_subbands(), 16);
    EXPECT_EQ(s1.sb_width(), 2);
    EXPECT_EQ(s1.subbandColumn(9, 1), 7u);
    EXPECT_EQ(s1.subbandRow(9, 1), 4u);
    // Every subband cell of a 4x4 block lands on a distinct plane cell.
    std::set<std::pair<uint32_t, uint32_t>> cells;
    for (uint8_t sb = 0; sb < 16; ++sb) cells.insert({s1.subbandColumn(sb, 0), s1.subbandRow(sb, 0)});
    EXPECT_EQ(cells.size(), 16u);

    image_memory s2(64, 6, 2, 16, 2);
    EXPECT_EQ(s2.sb_width(), 4);
    EXPECT_EQ(s2.subbandColumn(3, 2), 14u);
    EXPECT_EQ(s2.subbandRow(3, 5), 5u);

    image_memory s0(6, 5, 1, 40, 0);
    EXPECT_EQ(s0.num_subbands(), 1);
    EXPECT_EQ(s0.subbandColumn(0, 5), 5u);

    s2.setDat(1, 3, 2, 5, 0xBEEF);
    EXPECT_EQ(s2.at(1, 14, 5), 0xBEEF);
    EXPECT_EQ(s2.getDat(1, 3, 2, 5), 0xBEEF);
    EXPECT_EQ(s2.at(0, 14, 5), 0);  // cells start at 0
}

TEST(ImageMemory, ConstructorChecksInOrder) {
    const std::string p = "Error image_memory::image_memory(). ";
    EXPECT_EQ(construct_error(0, 0, 9, 99, 7), p + "Width must greater than 0.");
    EXPECT_EQ(construct_error(4, 0, 9, 99, 7), p + "Height must greater than 0.");
    EXPECT_EQ(construct_error(4, 4, 5, 99, 7), p + "Number of components out of range.");
    EXPECT_EQ(construct_error(4, 4, 0, 99, 7), p + "Number of components out of range.");
    EXPECT_EQ(construct_error(4, 4, 1, 65, 7), p + "Number of subbands out of range.");
    EXPECT_EQ(construct_error(4, 4, 1, 64, 7), p + "Unsupported storing scheme.");
    EXPECT_EQ(construct_error(6, 4, 1, 1, 1), p + "Image width must be a multiple of 4.");
    EXPECT_EQ(construct_error(8, 6, 1, 1, 1), p + "Image height must be a multiple of 4.");
    EXPECT_EQ(construct_error(40, 4, 1, 16, 2), p + "Image width must be a multiple of the number of subbands.");
    EXPECT_EQ(construct_error(40, 4, 1, 0, 2), p + "Number of subbands out of range.");
}

TEST(ImageMemory, CopyBetweenCompatibleSchemes) {
    image_memory interleaved(8, 8, 2, 16, 1), plain(8, 8, 2, 1, 0), strips(16, 8, 2, 16, 2);
    for (unsigned c = 0; c < 2; ++c)
        for (unsigned i = 0; i < 64; ++i) interleaved.plane(c)[i] = uint16_t(c * 1000 + i);
    plain.copyFrom(interleaved);
    EXPECT_EQ(plain.at(1, 7, 4), interleaved.at(1, 7, 4));
    EXPECT_EQ(plain.at(0, 3, 5), 43);

    try {
        strips.copyFrom(image_memory(16, 8, 2, 16, 1));
        FAIL() << "scheme 1 into scheme 2 must fail";
    } catch (const QvxError& e) {
        EXPECT_EQ(e.text(), "Error in image_memory::copyFrom(). Different storing schemes.");
    }
}

TEST(BlockPool, BlocksAndExactFit) {
    block_pool pool;
    EXPECT_EQ(pool.allocate(4), nullptr);  // no block before create
    pool.create(100);
    uint8_t* a = static_cast<uint8_t*>(pool.allocate(60));
    uint8_t* b = static_cast<uint8_t*>(pool.allocate(39));
    EXPECT_EQ(b, a + 60);
    EXPECT_EQ(pool.block_count(), 1u);
    pool.allocate(1);  // exactly the remaining room opens a new block
    EXPECT_EQ(pool.block_count(), 2u);
    EXPECT_EQ(pool.capacity(), 25u);
    uint8_t* big = static_cast<uint8_t*>(pool.allocate(1000));  // larger than a regular block
    ASSERT_NE(big, nullptr);
    big[999] = 1;  // the block really holds the request
    EXPECT_GE(pool.capacity(), 1000u);
}

struct FrameRig {
    frame_state fs;
    QVXCodec codec{&fs};
    std::string error;
    FrameRig(uint16_t w, uint16_t h, uint8_t format, uint8_t depth, uint8_t kernel) {
        fs.w_kernel = kernel;
        try {
            frame_setup(codec, w, h, format, depth, fs, uint16_t(w + 1));
        } catch (const QvxError& e) {
            error = e.text();
        }
    }
    ~FrameRig() { frame_release(fs); }
};

TEST(FrameSetup, ChecksInOrderLeaveTheStateUntouched) {
    EXPECT_EQ(FrameRig(1922, 1082, 9, 16, 0).error, "Error: Width must be a mulitple of 4 and != 0");
    EXPECT_EQ(FrameRig(0, 4, 1, 8, 0).error, "Error: Width must be a mulitple of 4 and != 0");
    EXPECT_EQ(FrameRig(8, 1082, 9, 16, 0).error, "Error: Height must be a multiple of 4 and != 0");
    EXPECT_EQ(FrameRig(8, 8, 9, 16, 0).error, "Error: Undefined component format");
    EXPECT_EQ(FrameRig(8, 8, 1, 16, 0).error, "ERROR: bitdepth not supported!");
    FrameRig nine(8, 8, 1, 9, 0);
    EXPECT_EQ(nine.error, "ERROR: bitdepth not supported!");
    EXPECT_EQ(nine.fs.width, 0);
    EXPECT_EQ(nine.fs.out_store, nullptr);
}

TEST(FrameSetup, StoresFollowTheKernel) {
    FrameRig s(4, 4, 1, 8, 0);
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(s.fs.coef_store->scheme(), 1);
    EXPECT_EQ(s.fs.out_store->scheme(), 0);
    EXPECT_EQ(s.fs.stored_width, 5);

    FrameRig strips(1920, 8, 2, 10, 6);
    ASSERT_EQ(strips.error, "");
    EXPECT_EQ(strips.fs.residual_store->scheme(), 2);
    EXPECT_EQ(strips.fs.residual_store->sb_width(), 120);
    EXPECT_EQ(strips.fs.num_components, 3);
    EXPECT_EQ(strips.fs.subsampled, 0);

    EXPECT_EQ(FrameRig(1928, 8, 1, 8, 6).error,
              "Error image_memory::image_memory(). Image width must be a multiple of the number of subbands.");

    FrameRig plain(12, 8, 3, 14, 9);
    ASSERT_EQ(plain.error, "");
    EXPECT_EQ(plain.fs.wavelet_store->scheme(), 0);
    EXPECT_EQ(plain.fs.wavelet_store->num_subbands(), 1);
    EXPECT_EQ(plain.fs.subsampled, 1);
}

TEST(FrameSetup, PoolSizesOfAFullHdFrame) {
    FrameRig s(1920, 1080, 2, 8, 3);
    ASSERT_EQ(s.error, "");
    EXPECT_EQ(s.codec.pool.initial_size(), 49766400u);
    s.codec.pool.allocate(49766400u - 10);
    EXPECT_EQ(s.codec.pool.block_count(), 1u);
    s.codec.pool.allocate(10);
    EXPECT_EQ(s.codec.pool.block_count(), 2u);
    EXPECT_EQ(s.codec.pool.capacity(), 12441600u);
    EXPECT_EQ(s.codec.width, 1920u);
    EXPECT_EQ(s.codec.num_components, 3u);
}

TEST(FrameSetup, ReleaseNullsEveryStore) {
    FrameRig s(8, 8, 4, 12, 1);
    frame_release(s.fs);
    for (image_memory* p : {s.fs.out_store, s.fs.lut_store, s.fs.ct_store, s.fs.wavelet_store,
                            s.fs.coef_store, s.fs.residual_store})
        EXPECT_EQ(p, nullptr);
}

}  // namespace

namespace {

TEST(ImageMemory, TakeFromHandsOverTheCells) {
    image_memory src(8, 4, 2, 16, 1), dst(8, 4, 2, 1, 0);
    src.at(1, 7, 3) = 42;
    dst.takeFrom(src);
    EXPECT_EQ(dst.at(1, 7, 3), 42);
    image_memory strips(16, 4, 1, 16, 2);
    EXPECT_THROW(strips.takeFrom(src), QvxError);  // schemes 1 and 2 never mix
    image_memory small(4, 4, 1, 1, 0);
    small.takeFrom(dst);  // other geometry: a plain copy of the overlap
    EXPECT_EQ(small.at(0, 3, 3), dst.at(0, 3, 3));
}

}  // namespace
