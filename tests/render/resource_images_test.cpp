// The committed editor images, decoded as the editor decodes them: right sizes, an opaque panel,
// and knob frames whose surroundings are transparent so the panel shows around each knob.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "TestBitmaps.h"
#include "render/LICE_LoadPngFromMemory.h"

namespace {

std::unique_ptr<LICE_IBitmap> LoadImageFile(const std::string& name) {
    std::ifstream file(std::string(BRIGHTFALL_IMAGE_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(file.good()) << name;
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)),
                                           std::istreambuf_iterator<char>());
    return std::unique_ptr<LICE_IBitmap>(LICE_LoadPngFromMemory(bytes.data(), bytes.size()));
}

int AlphaAt(const LICE_IBitmap& bitmap, int x, int y) {
    return static_cast<int>(PixelAt(bitmap, x, y) >> 24);
}

TEST(ResourceImages, BackgroundIsAnOpaque404By250Panel) {
    const auto panel = LoadImageFile("duskmere_back_404x250px.png");
    ASSERT_NE(panel, nullptr);
    ASSERT_EQ(panel->Width(), 404);
    ASSERT_EQ(panel->Height(), 250);
    for (int y = 0; y < 250; ++y) {
        for (int x = 0; x < 404; ++x) {
            ASSERT_EQ(AlphaAt(*panel, x, y), 255) << x << "," << y;
        }
    }
}

TEST(ResourceImages, KnobStripHas31FramesOnTransparency) {
    const auto strip = LoadImageFile("knob_64x64px_31frames.png");
    ASSERT_NE(strip, nullptr);
    ASSERT_EQ(strip->Width(), 64);
    ASSERT_EQ(strip->Height(), 31 * 64);
    std::vector<Pixel> firstCentre, lastCentre;
    for (int frame = 0; frame < 31; ++frame) {
        const int top = frame * 64;
        for (int corner : {0, 63}) {
            EXPECT_EQ(AlphaAt(*strip, corner, top), 0) << frame;
            EXPECT_EQ(AlphaAt(*strip, corner, top + 63), 0) << frame;
        }
        EXPECT_EQ(AlphaAt(*strip, 32, top + 32), 255) << frame;
        EXPECT_EQ(AlphaAt(*strip, 32, top + 14), 255) << "the cap is opaque, frame " << frame;
        // Frames differ from one another: the pointer turns.
        if (frame > 0) {
            bool differs = false;
            for (int y = 0; y < 64 && !differs; ++y) {
                for (int x = 0; x < 64 && !differs; ++x) {
                    differs = PixelAt(*strip, x, top + y) != PixelAt(*strip, x, top - 64 + y);
                }
            }
            EXPECT_TRUE(differs) << frame;
        }
    }
    // The edge of the knob's shadow is soft: some pixels are neither clear nor opaque.
    int partial = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const int a = AlphaAt(*strip, x, y);
            partial += a > 0 && a < 255;
        }
    }
    EXPECT_GT(partial, 100);
}

}  // namespace
