// Where the viewer and the overlay place a picture, and what the viewer draws of it.
#include <gtest/gtest.h>

#include "support/pictures.h"
#include "ui/placement.h"

namespace pixtrel::test {
namespace {

TEST(Placement, PicturesAreScaledToFitAndCentred) {
  struct Case {
    int width, height;
    ui::Rect place;
  };
  const Case cases[] = {
      {1920, 1080, {0, 19, 200, 112}}, {1280, 1024, {6, 0, 187, 150}}, {300, 600, {62, 0, 75, 150}},
      {100, 100, {25, 0, 150, 150}},   {100, 50, {0, 25, 200, 100}},   {0, 0, {0, 0, 200, 150}},
      {5, 0, {0, 0, 200, 150}},        {1, 1, {25, 0, 150, 150}},      {4000, 1, {0, 75, 200, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlacePicture(c.width, c.height, 200, 150), c.place) << c.width << "x" << c.height;
  }
}

TEST(Placement, TheImageIsBlackAroundANearestNeighbourStretch) {
  for (const int depth : {32, 16, 8}) {
    SCOPED_TRACE(depth);
    const Bitmap picture = SamplePicture(1920, 1080, depth);
    const Bitmap image = RenderViewerImage(picture, 200, 150);
    ASSERT_EQ(image.Width(), 200);
    for (int y : {0, 18, 131, 149})
      EXPECT_EQ(image.PixelColor(100, y), Color{}) << y;
    for (int y = 0; y < 112; y += 37) {
      for (int x = 0; x < 200; x += 13) {
        ASSERT_EQ(image.PixelColor(x, 19 + y), picture.PixelColor(x * 1920 / 200, y * 1080 / 112));
      }
    }
  }
  // A small picture is enlarged by repeating its pixels.
  const Bitmap small = SamplePicture(100, 50, 24);
  const Bitmap image = RenderViewerImage(small, 200, 150);
  EXPECT_EQ(image.PixelColor(0, 25), small.PixelColor(0, 0));
  EXPECT_EQ(image.PixelColor(1, 26), small.PixelColor(0, 0));
  EXPECT_EQ(image.PixelColor(199, 124), small.PixelColor(99, 49));
  EXPECT_EQ(RenderViewerImage(Bitmap(), 200, 150).PixelColor(100, 75), Color{});
}

TEST(OverlayPlacement, FitsCentresOrShrinks) {
  struct Case {
    int w, h;
    ui::Rect place;
  };
  const Case cases[] = {
      {1920, 1080, {0, 0, 1920, 1080}},
      {800, 600, {560, 240, 800, 600}},
      {3840, 2160, {0, 0, 1920, 1080}},
      {3840, 1080, {0, 270, 1920, 540}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PlaceOverlayPicture(c.w, c.h, 1920, 1080), c.place);
  }
}

}  // namespace
}  // namespace pixtrel::test
