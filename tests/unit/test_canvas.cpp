// The pixel canvas over a plain buffer: shapes, erasing, clipping, the
// row stride and the rectangles it reports.
#include "rtl/canvas.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

constexpr uint32_t kOlive = 0xFF808000, kRed = 0xFFFF0000, kBlack = 0xFF000000, kWhite = 0xFFFFFFFF,
                   kPadding = 0x12345678;

// 300 x 200 olive pixels in rows of 304, the last four never drawn on.
class Pixels {
public:
  static constexpr int W = 300, H = 200, Stride = 304;
  Pixels() : Bits(size_t(Stride) * H, kPadding) {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        Bits[size_t(y) * Stride + x] = kOlive;
    Canvas.SetPixels({Bits.data(), W, H, Stride});
    Canvas.OnDrawn = [this](const TRect &r) { Drawn.push_back(r); };
  }
  uint32_t At(int x, int y) const { return Bits[size_t(y) * Stride + x]; }
  int Count(uint32_t colour) const {
    int n = 0;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x)
        n += At(x, y) == colour;
    return n;
  }
  bool PaddingIntact() const {
    for (int y = 0; y < H; ++y)
      for (int x = W; x < Stride; ++x)
        if (At(x, y) != kPadding)
          return false;
    return true;
  }

  std::vector<uint32_t> Bits;
  TCanvas Canvas;
  std::vector<TRect> Drawn;
};

} // namespace

TEST(Canvas, DrawingAgainInTheWindowColourLeavesNoTrace) {
  Pixels px;
  const std::vector<uint32_t> clean = px.Bits;
  TCanvas *c = &px.Canvas;
  auto draw = [c](TColor colour) {
    c->Pen.Width = 1;
    c->Pen.Color = colour;
    c->Brush.Color = colour;
    c->Ellipse(40, 40, 67, 67);
    c->Pen.Width = 5;
    c->MoveTo(53, 53);
    c->LineTo(80, 31);
    c->Pen.Width = 3;
    c->MoveTo(10, 150);
    c->LineTo(250, 170);
  };
  draw(clRed);
  EXPECT_NE(px.Bits, clean);
  EXPECT_EQ(px.At(53, 53), kRed);
  draw(clOlive);
  EXPECT_EQ(px.Bits, clean);
}

TEST(Canvas, EllipseRightAndBottomEdgesAreExclusive) {
  Pixels px;
  TCanvas *c = &px.Canvas;
  c->Pen.Width = 1;
  c->Pen.Color = clBlack;
  c->Brush.Color = clBlack;
  c->Ellipse(100, 100, 110, 110);
  EXPECT_EQ(px.At(105, 109), kBlack);
  EXPECT_EQ(px.At(105, 110), kOlive);
  EXPECT_EQ(px.At(110, 105), kOlive);
  EXPECT_EQ(px.At(100, 105), kBlack);
  EXPECT_EQ(c->PenPos(), (TPoint{0, 0}));
  c->MoveTo(5, 6);
  c->LineTo(20, 6);
  EXPECT_EQ(c->PenPos(), (TPoint{20, 6}));
}

TEST(Canvas, ReportsWhatEachShapeTouchedWithinThePixels) {
  Pixels px;
  TCanvas *c = &px.Canvas;
  c->Brush.Color = clRed;
  c->Ellipse(100, 100, 110, 110);
  // A line 5 wide grows by 3 around the box of its two end pixels.
  c->Pen.Width = 5;
  c->MoveTo(80, 31);
  c->LineTo(53, 53);
  // A thin line's box holds both ends.
  c->Pen.Width = 1;
  c->LineTo(60, 50);
  // Shapes reaching over an edge report only the part on the pixels.
  c->Ellipse(-5, -5, 5, 5);
  c->FillRect({290, 190, 320, 220}, clWhite);
  // Nothing drawn, nothing reported.
  c->LineTo(60, 50);
  c->Ellipse(400, 10, 420, 30);
  const std::vector<TRect> want = {
      {100, 100, 110, 110}, {50, 28, 84, 57}, {53, 50, 61, 54}, {0, 0, 5, 5}, {290, 190, 300, 200}};
  EXPECT_EQ(px.Drawn, want);
  EXPECT_EQ(px.Count(kWhite), 100);
  EXPECT_TRUE(px.PaddingIntact());
}

TEST(Canvas, ClipRectanglesBoundEveryShapeUntilCleared) {
  Pixels px;
  TCanvas *c = &px.Canvas;
  const TRect clip[] = {{10, 10, 20, 20}, {295, 0, 310, 2}};
  c->SetClip(clip, 2);
  c->FillRect({0, 0, 300, 200}, clWhite);
  // 10 x 10, and 5 x 2 at the right edge; none past it.
  EXPECT_EQ(px.Count(kWhite), 110);
  EXPECT_EQ(px.At(19, 19), kWhite);
  EXPECT_EQ(px.At(20, 19), kOlive);
  EXPECT_TRUE(px.PaddingIntact());
  c->ClearClip();
  c->Pen.Width = 9;
  c->Pen.Color = clRed;
  c->MoveTo(250, 100);
  c->LineTo(350, 100);
  EXPECT_EQ(px.At(299, 100), kRed);
  EXPECT_TRUE(px.PaddingIntact());
}
