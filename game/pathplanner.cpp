#include "game/pathplanner.h"

#include "game/line.h"

#include <algorithm>
#include <cmath>
#include <iterator>

double SegmentDistance(TPointF A, TPointF B, TPointF P) {
  const double dx = B.X - A.X, dy = B.Y - A.Y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((P.X - A.X) * dx + (P.Y - A.Y) * dy) / len2 : 0;
  t = std::clamp(t, 0.0, 1.0);
  return std::hypot(A.X + t * dx - P.X, A.Y + t * dy - P.Y);
}

namespace {

double Cross(TPointF O, TPointF A, TPointF B) {
  return (A.X - O.X) * (B.Y - O.Y) - (A.Y - O.Y) * (B.X - O.X);
}

} // namespace

double SegmentsDistance(TPointF A, TPointF B, TPointF C, TPointF D) {
  const double d1 = Cross(A, B, C), d2 = Cross(A, B, D);
  const double d3 = Cross(C, D, A), d4 = Cross(C, D, B);
  if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
    return 0;
  return std::min(std::min(SegmentDistance(A, B, C), SegmentDistance(A, B, D)),
                  std::min(SegmentDistance(C, D, A), SegmentDistance(C, D, B)));
}

void CPathPlanner::SetField(double width, double height, CLine *const *walls, int wallCount) {
  Width = width;
  Height = height;
  Walls = walls;
  WallCount = wallCount;
  Cols = std::clamp(static_cast<int>(width) / kCell, 1, kMaxCols);
  Rows = std::clamp(static_cast<int>(height) / kCell, 1, kMaxRows);
  BuiltRows = 0;
  Status = psIdle;
}

bool CPathPlanner::Build(int rows) {
  for (; rows > 0 && BuiltRows < Rows; --rows, ++BuiltRows) {
    for (int c = 0; c < Cols; ++c) {
      const int cell = BuiltRows * Cols + c;
      const TPointF p = Centre(cell);
      // The edges count 5 pixels less: a tank may come to 10 pixels of an
      // edge but only to 14 of a wall.
      double room = std::min(std::min(p.X, Width - p.X), std::min(p.Y, Height - p.Y)) + 5;
      for (int w = 0; w < WallCount; ++w)
        room = std::min(room, SegmentDistance(Walls[w]->P1, Walls[w]->P2, p));
      Room[cell] = static_cast<uint8_t>(std::clamp(room, 0.0, 255.0));
    }
  }
  return Ready();
}

TPointF CPathPlanner::Centre(int cell) const {
  return {(cell % Cols) * kCell + kCell * 0.5, (cell / Cols) * kCell + kCell * 0.5};
}

int CPathPlanner::CellOf(TPointF p) const {
  const int c = std::clamp(static_cast<int>(p.X) / kCell, 0, Cols - 1);
  const int r = std::clamp(static_cast<int>(p.Y) / kCell, 0, Rows - 1);
  return r * Cols + c;
}

bool CPathPlanner::LineClear(TPointF from, TPointF to, double clearance) const {
  for (int w = 0; w < WallCount; ++w)
    if (SegmentsDistance(from, to, Walls[w]->P1, Walls[w]->P2) < clearance)
      return false;
  return true;
}

bool CPathPlanner::FireClear(TPointF from, TPointF to, double clearance) const {
  // The bullet starts at the barrel's tip and hits short of the centre.
  const double d = Distance(from, to);
  if (d < 24)
    return true;
  const double ux = (to.X - from.X) / d, uy = (to.Y - from.Y) / d;
  from = {from.X + 12 * ux, from.Y + 12 * uy};
  to = {to.X - 10 * ux, to.Y - 10 * uy};
  for (int w = 0; w < WallCount; ++w)
    if (SegmentsDistance(from, to, Walls[w]->P1, Walls[w]->P2) < clearance)
      return false;
  return true;
}

bool CPathPlanner::Goal(int cell) const {
  const TPointF p = Centre(cell);
  return Distance(p, Target) <= Range && FireClear(p, Target, kFireClearance + 4);
}

bool CPathPlanner::Passable(int cell, int depth) const {
  const TPointF p = Centre(cell);
  // Near the start the tank may stand closer to a wall or a tank than
  // planned ground allows; it must be able to leave by the game's own
  // measure.
  const bool nearStart = depth <= 3;
  if (Room[cell] < kWallClearance) {
    if (!nearStart || p.X < 11 || p.X > Width - 11 || p.Y < 11 || p.Y > Height - 11)
      return false;
    for (int w = 0; w < WallCount; ++w)
      if (Walls[w]->IsNear(p, p, 15))
        return false;
  }
  const double tankRoom = nearStart ? 22 : kTankClearance;
  for (int i = 0; i < TankCount; ++i)
    if (Distance(p, Tanks[i]) < tankRoom)
      return false;
  return true;
}

void CPathPlanner::Start(TPointF from, TPointF target, double range, const TPointF *tanks,
                         int tankCount) {
  Target = target;
  Range = range;
  TankCount = std::min(tankCount, 6);
  std::copy(tanks, tanks + TankCount, Tanks);
  if (++Stamp == 0) {
    std::fill(std::begin(Seen), std::end(Seen), 0);
    Stamp = 1;
  }
  const int start = CellOf(from);
  Seen[start] = Stamp;
  Parent[start] = -1;
  Depth[start] = 0;
  Queue[0] = start;
  QueueHead = 0;
  QueueTail = 1;
  RouteLength = RouteAt = 0;
  Status = Ready() ? psSearching : psFailed;
}

CPathPlanner::TState CPathPlanner::Search(int cells) {
  static constexpr int kDx[8] = {1, -1, 0, 0, 1, 1, -1, -1};
  static constexpr int kDy[8] = {0, 0, 1, -1, 1, -1, 1, -1};
  while (Status == psSearching && cells-- > 0) {
    if (QueueHead == QueueTail) {
      Status = psFailed;
      break;
    }
    const int cell = Queue[QueueHead++];
    // The start is no goal: the search is for somewhere else.
    if (Parent[cell] >= 0 && Goal(cell)) {
      RouteLength = 0;
      for (int at = cell; at >= 0; at = Parent[at])
        ++RouteLength;
      int i = RouteLength;
      for (int at = cell; at >= 0; at = Parent[at])
        Route[--i] = at;
      RouteAt = 0;
      Status = psFound;
      break;
    }
    const int c = cell % Cols, r = cell / Cols, depth = Depth[cell] + 1;
    for (int k = 0; k < 8; ++k) {
      const int nc = c + kDx[k], nr = r + kDy[k];
      if (nc < 0 || nr < 0 || nc >= Cols || nr >= Rows)
        continue;
      const int next = nr * Cols + nc;
      if (Seen[next] == Stamp)
        continue;
      // A diagonal step needs both cells beside it: no cutting of corners.
      if (k >= 4 &&
          (Room[r * Cols + nc] < kWallClearance - 3 || Room[nr * Cols + c] < kWallClearance - 3))
        continue;
      if (!Passable(next, depth))
        continue;
      // Close to a wall a step must not cross it.
      if (Room[next] < kWallClearance && !LineClear(Centre(cell), Centre(next), 1))
        continue;
      Seen[next] = Stamp;
      Parent[next] = cell;
      Depth[next] = static_cast<uint16_t>(std::min(depth, 65535));
      Queue[QueueTail++] = next;
    }
  }
  return Status;
}

bool CPathPlanner::NextPoint(TPointF pos, TPointF &point) {
  if (Status != psFound)
    return false;
  // Catch up with the route: the nearest of the next cells.
  static constexpr int kAhead = 24;
  const int last = std::min(RouteLength - 1, RouteAt + kAhead);
  double best = 1e9;
  for (int i = RouteAt; i <= last; ++i) {
    const double d = Distance(pos, Centre(Route[i]));
    if (d < best) {
      best = d;
      RouteAt = i;
    }
  }
  if (RouteAt == RouteLength - 1 && best < 6)
    return false;
  for (int i = last; i > RouteAt; --i) {
    const TPointF p = Centre(Route[i]);
    if (DriveClear(pos, p)) {
      point = p;
      return true;
    }
  }
  point = Centre(Route[std::min(RouteAt + 1, RouteLength - 1)]);
  return true;
}
