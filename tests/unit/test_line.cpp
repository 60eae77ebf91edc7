// Plane geometry and walls: distances, the wall's line and whether a move
// is blocked by it.
#include "game/line.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

CLine Wall(TPointF a, TPointF b) {
  CLine line;
  line.SetEnds(a, b);
  return line;
}

// A tank asks about its proposed centre, a bullet about its step.
bool BlocksTank(const CLine &wall, TPointF p) {
  return wall.IsNear(p, p, 14);
}
bool BlocksBullet(const CLine &wall, TPointF from, TPointF to) {
  return wall.IsNear(from, to, 2);
}

} // namespace

TEST(Distance, IsEuclidean) {
  EXPECT_DOUBLE_EQ(Distance({0, 0}, {3, 4}), 5);
  EXPECT_DOUBLE_EQ(Distance({3, 4}, {0, 0}), 5);
  EXPECT_DOUBLE_EQ(Distance({1.5, -2}, {1.5, -2}), 0);
}

TEST(Wall, SetEndsDerivesSlopeInterceptAndLength) {
  CLine h = Wall({100, 200}, {300, 200});
  EXPECT_EQ(h.Slope, 0);
  EXPECT_EQ(h.Intercept, 200);
  EXPECT_EQ(h.Length, 200);

  CLine d = Wall({0, 10}, {10, 30});
  EXPECT_DOUBLE_EQ(d.Slope, 2);
  EXPECT_DOUBLE_EQ(d.Intercept, 10);
  EXPECT_DOUBLE_EQ(d.Length, Distance({0, 10}, {10, 30}));

  CLine point = Wall({50, 60}, {50, 60});
  EXPECT_EQ(point.Slope, 0);
  EXPECT_EQ(point.Intercept, 60);
  EXPECT_EQ(point.Length, 0);

  // New ends replace every derived field.
  point.SetEnds({0, 0}, {10, 10});
  EXPECT_DOUBLE_EQ(point.Slope, 1);
  EXPECT_DOUBLE_EQ(point.Intercept, 0);
}

TEST(Wall, TheGeneralEquationGivesExactlyTheSlopeFormsDistances) {
  const CLine walls[] = {Wall({100, 200}, {300, 200}), Wall({113, 77}, {402, 391}),
                         Wall({620.5, 300}, {511.5, 97}), Wall({0.1, 0.2}, {1000.3, 0.7})};
  for (const CLine &w : walls) {
    const double e = std::sqrt(w.Slope * w.Slope + 1);
    for (TPointF p :
         {TPointF{0, 0}, TPointF{150.25, 190.5}, TPointF{999, 13.75}, TPointF{-40, 700.125}}) {
      const double slopeForm = (w.Slope * p.X + w.Intercept - p.Y) / e;
      EXPECT_EQ(w.SignedDistance(p), slopeForm); // bit for bit
    }
  }
  // Above the line (smaller y) is positive.
  EXPECT_GT(walls[0].SignedDistance({150, 190}), 0);
  EXPECT_LT(walls[0].SignedDistance({150, 210}), 0);
}

TEST(Wall, HorizontalWallWorkedCases) {
  const CLine w = Wall({100, 200}, {300, 200});
  // Bullet steps.
  EXPECT_TRUE(BlocksBullet(w, {150, 190}, {150, 199}));  // ends 1 from the line
  EXPECT_FALSE(BlocksBullet(w, {150, 190}, {150, 197})); // 3 away, same side
  EXPECT_TRUE(BlocksBullet(w, {150, 195}, {150, 205}));  // crosses the line
  EXPECT_TRUE(BlocksBullet(w, {150, 195}, {150, 200}));  // ends on the line
  // Tank centres.
  EXPECT_TRUE(BlocksTank(w, {150, 186}));
  EXPECT_FALSE(BlocksTank(w, {150, 185}));
  EXPECT_TRUE(BlocksTank(w, {150, 214}));
  EXPECT_FALSE(BlocksTank(w, {150, 215}));
  // Beyond an end, on the wall's line: 4 pixels blocked, 6 not.
  EXPECT_TRUE(BlocksTank(w, {304, 200}));
  EXPECT_FALSE(BlocksTank(w, {306, 200}));
  EXPECT_TRUE(BlocksTank(w, {96, 200}));
  EXPECT_FALSE(BlocksTank(w, {94, 200}));
  // Crossing the infinite line far beyond the wall's end is no hit.
  EXPECT_FALSE(BlocksBullet(w, {400, 195}, {400, 205}));
  EXPECT_FALSE(BlocksBullet(w, {50, 195}, {50, 205}));
}

TEST(Wall, AVerticalWallBlocksLikeAHorizontalOneTurnedByAQuarter) {
  // The horizontal wall (100, 200)-(300, 200) turned about (200, 200).
  const CLine h = Wall({100, 200}, {300, 200});
  const CLine v = Wall({200, 100}, {200, 300});
  EXPECT_EQ(v.Length, 200);
  auto turn = [](TPointF p) { return TPointF{400 - p.Y, p.X}; };
  const TPointF points[] = {{150, 186}, {150, 185}, {150, 214}, {150, 215}, {304, 200},
                            {306, 200}, {96, 200},  {94, 200},  {250, 199}, {200, 200}};
  for (TPointF p : points)
    EXPECT_EQ(BlocksTank(v, turn(p)), BlocksTank(h, p)) << p.X << "," << p.Y;
  const std::pair<TPointF, TPointF> steps[] = {{{150, 190}, {150, 199}},
                                               {{150, 190}, {150, 197}},
                                               {{150, 195}, {150, 205}},
                                               {{400, 195}, {400, 205}}};
  for (auto [from, to] : steps)
    EXPECT_EQ(BlocksBullet(v, turn(from), turn(to)), BlocksBullet(h, from, to))
        << from.X << "," << from.Y;
  // Both ways across.
  EXPECT_TRUE(BlocksBullet(v, {195, 150}, {205, 150}));
  EXPECT_TRUE(BlocksBullet(v, {205, 150}, {195, 150}));
  EXPECT_TRUE(BlocksTank(v, {186, 150}));
  EXPECT_FALSE(BlocksTank(v, {185, 150}));
}

TEST(Wall, AWallWhoseEndsCoincideBlocksOnlyWithinFivePixels) {
  const CLine w = Wall({500, 400}, {500, 400});
  EXPECT_TRUE(BlocksTank(w, {500, 400}));
  EXPECT_TRUE(BlocksTank(w, {504.9, 400}));
  EXPECT_TRUE(BlocksTank(w, {500, 405}));
  EXPECT_FALSE(BlocksTank(w, {505.1, 400}));
  EXPECT_FALSE(BlocksTank(w, {500, 406}));
  EXPECT_FALSE(BlocksTank(w, {503, 404.1}));
  // A wall never placed (both ends at the origin) blocks nothing on the field.
  const CLine unplaced;
  EXPECT_FALSE(BlocksTank(unplaced, {75, 100}));
}
