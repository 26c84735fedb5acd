#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "TestBitmaps.h"
#include "render/LICE_MemBitmap.h"
#include "render/LICE_SysBitmap.h"

namespace {

bool AlignedTo(const void* p, std::uintptr_t bytes) {
    return reinterpret_cast<std::uintptr_t>(p) % bytes == 0;
}

// Writes and reads back every pixel the storage claims to have, so that a memory checker sees
// any storage smaller than the geometry promises.
void TouchWholeStorage(const LICE_IBitmap& bitmap, int rows) {
    Pixel* bits = bitmap.Bits();
    ASSERT_NE(bits, nullptr);
    const int count = rows * bitmap.RowSpan();
    for (int i = 0; i < count; ++i) {
        bits[i] = static_cast<Pixel>(i);
    }
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(bits[i], static_cast<Pixel>(i));
    }
}

void ExpectEmpty(const LICE_MemBitmap& bitmap) {
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.Bits(), nullptr);
    EXPECT_EQ(bitmap.Capacity(), 0);
}

TEST(MemBitmap, ConstructedWithoutPositiveSizeHoldsNoBlock) {
    LICE_MemBitmap none;
    ExpectEmpty(none);
    EXPECT_FALSE(none.Resize(0, 0));

    LICE_MemBitmap negative(-4, 5);
    ExpectEmpty(negative);

    LICE_MemBitmap sized(5, 3);
    EXPECT_EQ(sized.Width(), 5);
    EXPECT_EQ(sized.Height(), 3);
    EXPECT_EQ(sized.Capacity(), 96);
}

TEST(MemBitmap, GrowsByAQuarterAndNeverShrinksItsBlock) {
    LICE_MemBitmap bitmap;
    EXPECT_TRUE(bitmap.Resize(5, 3));
    EXPECT_EQ(bitmap.RowSpan(), 8);
    EXPECT_EQ(bitmap.Capacity(), 3 * 8 * 4);
    Pixel* const first = bitmap.Bits();
    TouchWholeStorage(bitmap, 3);

    EXPECT_FALSE(bitmap.Resize(5, 3)) << "same size";
    EXPECT_EQ(bitmap.Bits(), first);

    EXPECT_TRUE(bitmap.Resize(4, 3)) << "smaller: the block stays";
    EXPECT_EQ(bitmap.RowSpan(), 4);
    EXPECT_EQ(bitmap.Capacity(), 96);
    EXPECT_EQ(bitmap.Bits(), first);

    EXPECT_TRUE(bitmap.Resize(8, 4)) << "needs 128 bytes";
    EXPECT_EQ(bitmap.Capacity(), 160);
    TouchWholeStorage(bitmap, 4);

    EXPECT_TRUE(bitmap.Resize(8, 5)) << "needs exactly the 160 held";
    EXPECT_EQ(bitmap.Capacity(), 160);
    TouchWholeStorage(bitmap, 5);

    EXPECT_TRUE(bitmap.Resize(9, 5)) << "needs 240 bytes";
    EXPECT_EQ(bitmap.Capacity(), 300);
    TouchWholeStorage(bitmap, 5);

    EXPECT_TRUE(bitmap.Resize(1, 1));
    EXPECT_EQ(bitmap.Capacity(), 300);
}

TEST(MemBitmap, BitsAre64ByteAlignedAndRowsStartOn16Bytes) {
    LICE_MemBitmap bitmap;
    for (int width = 1; width <= 13; ++width) {
        bitmap.Resize(width, 7 + width);
        EXPECT_TRUE(AlignedTo(bitmap.Bits(), 64)) << width;
        EXPECT_GE(bitmap.RowSpan(), width);
        EXPECT_EQ(bitmap.RowSpan() % 4, 0) << width;
        EXPECT_LT(bitmap.RowSpan() - width, 4) << width;
        TouchWholeStorage(bitmap, bitmap.Height());
    }
}

TEST(MemBitmap, NonPositiveSizesReleaseTheBlock) {
    const int sizes[][2] = {{0, 10}, {-3, 10}, {10, 0}, {10, -1}};
    for (const auto& size : sizes) {
        LICE_MemBitmap bitmap(6, 6);
        EXPECT_TRUE(bitmap.Resize(size[0], size[1]));
        ExpectEmpty(bitmap);

        EXPECT_TRUE(bitmap.Resize(2, 2)) << "usable again afterwards";
        EXPECT_EQ(bitmap.Capacity(), 2 * 4 * 4);
        TouchWholeStorage(bitmap, 2);
    }
}

// Storage of 2 GiB or more would overflow the 32-bit byte count; such sizes must end empty, not
// in a wrapped-round small block that drawing then overruns.
TEST(MemBitmap, SizesBeyondA32BitByteCountEndEmpty) {
    const int sizes[][2] = {
        {INT_MAX, INT_MAX}, {INT_MAX, 1}, {1 << 16, 1 << 15}, {1 << 14, 1 << 15}};
    for (const auto& size : sizes) {
        LICE_MemBitmap bitmap(3, 3);
        EXPECT_TRUE(bitmap.Resize(size[0], size[1]));
        ExpectEmpty(bitmap);
    }
}

TEST(MemBitmap, AnswersTheInterfaceDefaults) {
    LICE_MemBitmap bitmap(4, 4);
    EXPECT_FALSE(bitmap.IsFlipped());
    EXPECT_EQ(bitmap.DeviceContext(), nullptr);
    int data = 0;
    for (int id : {0, 1, 0x1000, -1}) {
        EXPECT_EQ(bitmap.Extended(id, &data), 0);
    }
}

TEST(SysBitmap, KeepsLargerStorageWhenShrunkAndReplacesItWhenOutgrown) {
    LICE_SysBitmap bitmap(10, 10);
    ASSERT_NE(bitmap.Bits(), nullptr);
    EXPECT_EQ(bitmap.Width(), 10);
    EXPECT_EQ(bitmap.RowSpan(), 12);
    EXPECT_EQ(bitmap.AllocatedHeight(), 10);
    TouchWholeStorage(bitmap, 10);
    Pixel* const first = bitmap.Bits();

    EXPECT_FALSE(bitmap.Resize(10, 10));

    EXPECT_TRUE(bitmap.Resize(8, 8));
    EXPECT_EQ(bitmap.Bits(), first);
    EXPECT_EQ(bitmap.RowSpan(), 12);
    EXPECT_EQ(bitmap.Width(), 8);
    EXPECT_EQ(bitmap.Height(), 8);

    EXPECT_TRUE(bitmap.Resize(13, 8));
    ASSERT_NE(bitmap.Bits(), nullptr);
    EXPECT_EQ(bitmap.RowSpan(), 16);
    EXPECT_EQ(bitmap.AllocatedHeight(), 8);
    TouchWholeStorage(bitmap, 8);
}

TEST(SysBitmap, SizesWithoutPixelsReleaseTheStorage) {
    LICE_SysBitmap bitmap(10, 10);
    EXPECT_FALSE(bitmap.Resize(0, 5));
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 5);
    EXPECT_EQ(bitmap.Bits(), nullptr);

    EXPECT_TRUE(bitmap.Resize(4, 4));
    ASSERT_NE(bitmap.Bits(), nullptr);
    TouchWholeStorage(bitmap, 4);

    // A negative size must not be reported over the pixels of the larger storage.
    EXPECT_FALSE(bitmap.Resize(-3, 2));
    EXPECT_EQ(bitmap.Bits(), nullptr);

    LICE_SysBitmap empty(0, 0);
    EXPECT_EQ(empty.Bits(), nullptr);
    EXPECT_NE(empty.DeviceContext(), nullptr);
}

TEST(SysBitmap, SizesBeyond2GiBEndEmpty) {
    const int sizes[][2] = {{INT_MAX, INT_MAX}, {INT_MAX, 1}, {1 << 15, 1 << 14}};
    for (const auto& size : sizes) {
        LICE_SysBitmap bitmap(3, 3);
        EXPECT_TRUE(bitmap.Resize(size[0], size[1]));
        EXPECT_EQ(bitmap.Width(), 0);
        EXPECT_EQ(bitmap.Height(), 0);
        EXPECT_EQ(bitmap.Bits(), nullptr);
        EXPECT_TRUE(bitmap.Resize(5, 2)) << "usable again afterwards";
        TouchWholeStorage(bitmap, 2);
    }
}

TEST(SysBitmap, OffersADrawingContextAndTheInterfaceDefaults) {
    LICE_SysBitmap bitmap(4, 4);
    EXPECT_NE(bitmap.DeviceContext(), nullptr);
#ifndef _WIN32
    EXPECT_EQ(bitmap.DeviceContext(), &bitmap);
#endif
    EXPECT_FALSE(bitmap.IsFlipped());
    int data = 0;
    for (int id : {0, 1, 0x1000, -1}) {
        EXPECT_EQ(bitmap.Extended(id, &data), 0);
    }
}

}  // namespace
