// Box blur and the library's start order.
#include "imaginglib/blur.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaginglib/library.h"

using namespace qrn::imaginglib;

TEST(Blur, AveragesTheNeighbourhoodAndUsesOnlyExistingPixelsAtEdges) {
    // 3 x 3 grey image with one bright centre.
    const uint8_t src[9] = {0, 0, 0, 0, 90, 0, 0, 0, 0};
    uint8_t dst[9] = {};
    ASSERT_EQ(blur_image(src, 3, 3, 1, 3, dst, 3, 100, 1), 1);
    EXPECT_EQ(dst[4], 10);     // 90 / 9
    EXPECT_EQ(dst[0], 90 / 4);  // corner sees four pixels
    EXPECT_EQ(dst[1], 90 / 6);  // edge sees six
}

TEST(Blur, StrengthMixesWithTheSourceAndZeroKeepsIt) {
    const uint8_t src[4] = {200, 0, 0, 0};
    uint8_t dst[4] = {};
    blur_image(src, 2, 2, 1, 2, dst, 2, 0, 1);
    EXPECT_EQ(dst[0], 200);
    blur_image(src, 2, 2, 1, 2, dst, 2, 50, 1);
    EXPECT_EQ(dst[0], 200 + (50 - 200) * 50 / 100);
}

TEST(Blur, WorksInPlaceWithPaddedAndNegativeStrides) {
    std::vector<uint8_t> img(4 * 8, 0);  // 4 rows of 3 bytes, stride 8
    img[1 * 8 + 1] = 81;
    std::vector<uint8_t> out(img.size(), 0xEE);
    ASSERT_EQ(blur_image(img.data(), 3, 4, 1, 8, out.data(), 8, 100, 1), 1);
    EXPECT_EQ(out[0 * 8 + 0], 81 / 4);
    EXPECT_EQ(out[1 * 8 + 1], 81 / 9);
    EXPECT_EQ(out[0 * 8 + 3], 0xEE);  // padding untouched
    // Bottom-up: the last row in memory is row 0.
    std::vector<uint8_t> flipped(out.size(), 0);
    ASSERT_EQ(blur_image(img.data() + 3 * 8, 3, 4, 1, -8, flipped.data() + 3 * 8, -8, 100, 1), 1);
    EXPECT_EQ(flipped[1 * 8 + 1], 81 / 9);
    ASSERT_EQ(blur_image(img.data(), 3, 4, 1, 8, img.data(), 8, 100, 1), 1);
    EXPECT_EQ(img[1 * 8 + 1], 81 / 9);
}

TEST(Blur, RefusesUnusableArguments) {
    uint8_t px[4] = {};
    EXPECT_EQ(blur_image(nullptr, 2, 2, 1, 2, px, 2, 100, 1), 0);
    EXPECT_EQ(blur_image(px, 0, 2, 1, 2, px, 2, 100, 1), 0);
    EXPECT_EQ(blur_image(px, 2, -1, 1, 2, px, 2, 100, 1), 0);
    EXPECT_EQ(blur_image(px, 2, 2, 5, 2, px, 2, 100, 1), 0);
}

TEST(ImagingLibrary, RecordsTheLastFourParts) {
    initialize_core4();
    initialize_effects4();
    initialize_core3();
    EXPECT_EQ(initialize_effects3(), 1);
    EXPECT_EQ(start_log().last[0], 1);
    EXPECT_EQ(start_log().last[3], 4);
    exit_core3();
    EXPECT_EQ(start_log().last[3], 5);
}
