#include <gtest/gtest.h>

#include <set>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "frame/block_pool.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"

using namespace Vantrel::QVX;

namespace {

template <class F>
std::string error_of(F f) {
    try {
        f();
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
    std::set<std::pair<uint32_t, uint32_t>> cells;  // a 4x4 block's subbands land on distinct cells
    for (uint8_t sb = 0; sb < 16; ++sb) cells.insert({s1.subbandColumn(sb, 0), s1.subbandRow(sb, 0)});
    EXPECT_EQ(cells.size(), 16u);

    image_memory s2(64, 6, 2, 16, 2);
    EXPECT_EQ(s2.sb_width(), 4);
    EXPECT_EQ(s2.subbandColumn(3, 2), 14u);
    EXPECT_EQ(s2.subbandRow(3, 5), 5u);
    s2.setDat(1, 3, 2, 5, 0xBEEF);
    EXPECT_EQ(s2.at(1, 14, 5), 0xBEEF);
    EXPECT_EQ(s2.getDat(1, 3, 2, 5), 0xBEEF);
    EXPECT_EQ(s2.at(0, 14, 5), 0);  // cells start at 0

    image_memory s0(6, 5, 1, 40, 0);
    EXPECT_EQ(s0.num_subbands(), 1);
    EXPECT_EQ(s0.subbandColumn(0, 5), 5u);
}

TEST(ImageMemory, ConstructorChecksInOrder) {
    const std::string p = "Error image_memory::image_memory(). ";
    auto make = [](uint16_t w, uint16_t h, uint8_t c, uint8_t sb, uint8_t scheme) {
        return error_of([&] { image_memory m(w, h, c, sb, scheme); });
    };
    EXPECT_EQ(make(0, 0, 9, 99, 7), p + "Width must greater than 0.");
    EXPECT_EQ(make(4, 0, 9, 99, 7), p + "Height must greater than 0.");
    EXPECT_EQ(make(4, 4, 0, 99, 7), p + "Number of components out of range.");
    EXPECT_EQ(make(4, 4, 5, 99, 7), p + "Number of components out of range.");
    EXPECT_EQ(make(4, 4, 1, 65, 7), p + "Number of subbands out of range.");
    EXPECT_EQ(make(4, 4, 1, 64, 7), p + "Unsupported storing scheme.");
    EXPECT_EQ(make(6, 4, 1, 1, 1), p + "Image width must be a multiple of 4.");
    EXPECT_EQ(make(8, 6, 1, 1, 1), p + "Image height must be a multiple of 4.");
    EXPECT_EQ(make(40, 4, 1, 16, 2), p + "Image width must be a multiple of the number of subbands.");
    EXPECT_EQ(make(40, 4, 1, 0, 2), p + "Number of subbands out of range.");
}

TEST(ImageMemory, CopyAndHandOver) {
    image_memory interleaved(8, 8, 2, 16, 1), plain(8, 8, 2, 1, 0), strips(16, 8, 2, 16, 2);
    for (unsigned i = 0; i < 128; ++i) interleaved.plane(i / 64)[i % 64] = uint16_t(i / 64 * 1000 + i % 64);
    plain.copyFrom(interleaved);
    EXPECT_EQ(plain.at(1, 7, 4), 1039);
    EXPECT_EQ(error_of([&] { strips.copyFrom(image_memory(16, 8, 2, 16, 1)); }),
              "Error in image_memory::copyFrom(). Different storing schemes.");
    image_memory dst(8, 8, 2, 1, 0), small(4, 4, 1, 1, 0);
    dst.takeFrom(interleaved);
    EXPECT_EQ(dst.at(1, 7, 4), 1039);
    image_memory other(16, 8, 2, 16, 1);
    EXPECT_THROW(strips.takeFrom(other), QvxError);  // schemes 1 and 2 never mix
    small.takeFrom(dst);  // other geometry: a plain copy of the overlap
    EXPECT_EQ(small.at(0, 3, 3), 27);
}

TEST(BlockPool, BlocksAndExactFit) {
    block_pool pool;
    EXPECT_EQ(pool.allocate(4), nullptr);  // no block before create
    pool.create(100);
    uint8_t* a = static_cast<uint8_t*>(pool.allocate(60));
    EXPECT_EQ(static_cast<uint8_t*>(pool.allocate(39)), a + 60);
    EXPECT_EQ(pool.block_count(), 1u);
    pool.allocate(1);  // exactly the remaining room opens a new block
    EXPECT_EQ(pool.block_count(), 2u);
    EXPECT_EQ(pool.capacity(), 25u);
    uint8_t* big = static_cast<uint8_t*>(pool.allocate(1000));  // larger than a regular block
    ASSERT_NE(big, nullptr);
    big[999] = 1;
}

struct FrameRig {
    frame_state fs;
    QVXCodec codec{&fs};
    std::string error;
    FrameRig(uint16_t w, uint16_t h, uint8_t format, uint8_t depth, uint8_t kernel) {
        fs.w_kernel = kernel;
        error = error_of([&] { frame_setup(codec, w, h, format, depth, fs, uint16_t(w + 1)); });
    }
    ~FrameRig() { frame_release(fs); }
};

TEST(FrameSetup, ChecksStoresAndPool) {
    EXPECT_EQ(FrameRig(8, 8, 9, 16, 0).error, "Error: Undefined component format");  // before the depth
    FrameRig nine(8, 8, 1, 9, 0);
    EXPECT_EQ(nine.error, "ERROR: bitdepth not supported!");
    EXPECT_EQ(nine.fs.width, 0);  // a failed setup leaves the state untouched
    EXPECT_EQ(nine.fs.out_store, nullptr);

    FrameRig strips(1920, 8, 2, 10, 6);
    ASSERT_EQ(strips.error, "");
    EXPECT_EQ(strips.fs.residual_store->scheme(), 2);
    EXPECT_EQ(strips.fs.residual_store->sb_width(), 120);
    EXPECT_EQ(strips.fs.out_store->scheme(), 0);
    EXPECT_EQ(strips.fs.stored_width, 1921);
    FrameRig plain(12, 8, 3, 14, 9);
    EXPECT_EQ(plain.fs.wavelet_store->num_subbands(), 1);
    EXPECT_EQ(plain.fs.subsampled, 1);

    FrameRig hd(1920, 1080, 2, 8, 3);
    EXPECT_EQ(hd.codec.pool.initial_size(), 49766400u);
    hd.codec.pool.allocate(49766400u - 10);
    hd.codec.pool.allocate(10);
    EXPECT_EQ(hd.codec.pool.capacity(), 12441600u);
    frame_release(hd.fs);
    for (image_memory* p : {hd.fs.out_store, hd.fs.lut_store, hd.fs.ct_store, hd.fs.wavelet_store,
                            hd.fs.coef_store, hd.fs.residual_store})
        EXPECT_EQ(p, nullptr);
}

}  // namespace
