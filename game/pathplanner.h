// Routes for the computer's tank: a coarse grid over the field that knows
// where a tank's centre may go (clear of the walls and the field's edges),
// and a breadth-first search from the tank to the nearest place from which
// a target can be shot at. The search runs a limited number of cells per
// call, so that a plan is spread over several ticks. All storage is fixed:
// nothing is allocated once the planner exists.
#pragma once

#include "game/common.h"

#include <cstdint>

class CLine;

// Distance of P from the segment A–B.
double SegmentDistance(TPointF A, TPointF B, TPointF P);
// Least distance between the segments A–B and C–D (0 when they cross).
double SegmentsDistance(TPointF A, TPointF B, TPointF C, TPointF D);

class CPathPlanner {
public:
  static constexpr int kCell = 10;
  static constexpr int kMaxCols = 110, kMaxRows = 80;
  static constexpr int kMaxCells = kMaxCols * kMaxRows;
  // Planned ground keeps a tank's centre this far from walls and from the
  // centres of other tanks; the game refuses 14 and 21.
  static constexpr double kWallClearance = 18, kTankClearance = 25;
  // A line of fire on the plan keeps this far from every wall.
  static constexpr double kFireClearance = 8;

  enum TState { psIdle, psSearching, psFound, psFailed };

  // A new field: the map of free ground is built again by Build.
  void SetField(double width, double height, CLine *const *walls, int wallCount);
  // Builds up to `rows` rows of the map; true once the whole map is built.
  bool Build(int rows);
  bool Ready() const { return BuiltRows >= Rows; }

  // Starts a search from `from` for the nearest place within `range` of
  // `target` with a clear line of fire to it. The other tanks' centres
  // block the ground around them.
  void Start(TPointF from, TPointF target, double range, const TPointF *tanks, int tankCount);
  // Expands up to `cells` cells of the search; returns the state.
  TState Search(int cells);
  TState State() const { return Status; }
  void Clear() { Status = psIdle; }

  // While following a found route from `pos`: the point to head for, the
  // farthest route cell ahead that a tank can reach in a straight line.
  // False when the route's end has been reached.
  bool NextPoint(TPointF pos, TPointF &point);

  // Whether the segment from `from` to `to` stays clear of every wall by
  // `clearance`.
  bool LineClear(TPointF from, TPointF to, double clearance) const;
  // The same for a shot from a tank at `from` to one at `to`: from the
  // barrel's tip to where the bullet reaches the target.
  bool FireClear(TPointF from, TPointF to, double clearance) const;
  // Whether a tank can drive straight from `from` to `to`, clear of walls.
  bool DriveClear(TPointF from, TPointF to) const { return LineClear(from, to, 15); }

  int Cols = 0, Rows = 0;

private:
  TPointF Centre(int cell) const;
  int CellOf(TPointF p) const;
  bool Goal(int cell) const;
  bool Passable(int cell, int depth) const;

  double Width = 0, Height = 0;
  CLine *const *Walls = nullptr;
  int WallCount = 0;
  int BuiltRows = 0;
  // A cell's centre's distance from the nearest wall or edge, in pixels,
  // at most 255.
  uint8_t Room[kMaxCells] = {};

  TState Status = psIdle;
  TPointF Target;
  double Range = 0;
  TPointF Tanks[6];
  int TankCount = 0;
  uint16_t Stamp = 0;
  uint16_t Seen[kMaxCells] = {};
  int32_t Parent[kMaxCells] = {};
  uint16_t Depth[kMaxCells] = {};
  int32_t Queue[kMaxCells] = {};
  int QueueHead = 0, QueueTail = 0;

  // The route, from the start cell to the goal.
  int32_t Route[kMaxCells] = {};
  int RouteLength = 0, RouteAt = 0;
};
