// The computer's levels against models of a person and against each
// other, headless and as fast as the CPU allows: each pairing plays a
// number of seeded games, each side red in half of them; then every level
// plays against a side that never presses a key. Prints the share of wins,
// and how each level behaved: its first key, its turns' reversals, its
// standing still and its switching.
//
// Run: build/bench/tournament [GAMES [BASE]]
//      build/bench/tournament 1 SEED RED BLUE EVERY [COMPUTERSEED]
//      (one game traced: the tanks every EVERY ticks; sides are 0 easy,
//      1 normal, 2 hard, 3 beginner, 4 skilled, -1 idle)
//      build/bench/tournament people [GAMES [BASE]]
//      (the simple person models of bench/person.h against each level)
#include "bench/person.h"
#include "tests/game/headless.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

using namespace headless;

// What one kind of player did over all its games.
struct Record {
  int Games = 0, Switched = 0, FirstKeyLate = 0, FirstKeyMost = 0;
  long Switches = 0;
  long FirstKeys = 0, Ticks = 0, TurnChanges = 0, Reversals = 0, QuickReversals = 0, Bursts = 0;
  long LongStand = 0, IdleStand = 0;
  int LongestStand = 0;
  void Add(const Behaviour &b, int ticks, int reaction) {
    ++Games;
    Switched += b.Switches > 0;
    Switches += b.Switches;
    FirstKeys += b.FirstKey;
    FirstKeyMost = std::max(FirstKeyMost, b.FirstKey);
    // The first tick it may act on is the one after its reaction time.
    FirstKeyLate += b.FirstKey == 0 || b.FirstKey > reaction + 1 + 3;
    Ticks += ticks;
    TurnChanges += b.TurnChanges;
    Reversals += b.Reversals;
    QuickReversals += b.QuickReversals;
    Bursts += b.Bursts;
    LongStand += b.LongStandTicks;
    IdleStand += b.IdleStandTicks;
    LongestStand = std::max(LongestStand, b.LongestStand);
  }
};

int Reaction(int kind) {
  return kind == pkBeginner  ? kBeginner.Reaction
         : kind == pkSkilled ? kSkilled.Reaction
                             : ComputerLevelFigures(TComputerLevel(kind)).Reaction;
}

// One game of a person model against a level; the person red or blue.
// Returns the winner's side, 0 for none within maxTicks.
int PlayPerson(Field &field, uint32_t layoutSeed, const person::TFigures &figures, int level,
               bool personRed, uint32_t seed, int maxTicks, int &ticks) {
  SetRandSeed(layoutSeed);
  ResetGame();
  field.Start();
  const int personSide = personRed ? 1 : 2;
  Keys personKeys(&field, personSide), computerKeys(&field, 3 - personSide);
  person::CPerson human(personSide, figures, seed * 2 + 1, &personKeys);
  auto computer = std::make_unique<CComputerPlayer>(3 - personSide, TComputerLevel(level), seed * 2,
                                                    &computerKeys);
  human.NewGame();
  computer->NewGame();
  ticks = 0;
  while (field.Running && ticks < maxTicks) {
    field.Tick();
    ++ticks;
    if (field.Running) {
      human.Tick();
      computer->Tick();
    }
  }
  int winner = 0;
  if (!field.Running)
    for (int p = 1; p <= 2; ++p)
      if (Tanks[p][1]->Destroyed() && Players[p]->TankCount == 1)
        winner = 3 - p;
  field.Running = false;
  human.ReleaseAll();
  computer->ReleaseAll();
  return winner;
}

// The person models against each level: the person's share of the wins.
int People(int games, int base) {
  Field field;
  std::printf("| person – level | games | person wins | level wins | not over | median ticks "
              "|\n|---|---|---|---|---|---|\n");
  const struct {
    const char *name;
    person::TFigures figures;
  } people[] = {{"beginner", person::kBeginner}, {"skilled", person::kSkilled}};
  for (const auto &who : people) {
    for (int level = lvEasy; level <= lvHard; ++level) {
      int wins = 0, losses = 0;
      std::vector<int> lengths;
      for (int g = 0; g < games; ++g) {
        int ticks = 0;
        const bool red = g % 2 == 0;
        const int winner = PlayPerson(field, base + 1000 + g, who.figures, level, red,
                                      base + 77 + g, 20000, ticks);
        wins += winner == (red ? 1 : 2);
        losses += winner == (red ? 2 : 1);
        lengths.push_back(ticks);
      }
      std::sort(lengths.begin(), lengths.end());
      std::printf("| %s – %s | %d | %.1f %% | %.1f %% | %d | %d |\n", who.name,
                  ComputerLevelName(TComputerLevel(level)), games, 100.0 * wins / games,
                  100.0 * losses / games, games - wins - losses, lengths[lengths.size() / 2]);
      std::fflush(stdout);
    }
  }
  return 0;
}

} // namespace

int main(int argc, char **argv) {
  if (argc > 1 && std::strcmp(argv[1], "people") == 0)
    return People(argc > 2 ? std::atoi(argv[2]) : 200, argc > 3 ? std::atoi(argv[3]) : 0);
  const int games = argc > 1 ? std::atoi(argv[1]) : 200;
  // Another set of layouts and of the computer's choices: BASE.
  const int base = argc == 3 ? std::atoi(argv[2]) : 0;
  Field field;
  if (argc > 5) {
    // One game, traced: GAMES SEED RED BLUE EVERY
    Trace = std::atoi(argv[5]);
    const Result r = Play(field, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                          argc > 6 ? std::atoi(argv[6]) : 5, 20000);
    std::printf("winner %d after %d ticks, blocked %d\n", r.Winner, r.Ticks, r.Blocked);
    for (int i = 0; i < 2; ++i)
      std::printf("side %d: first key %d, reversals %d of %d turns, bursts %d, switches %d, "
                  "longest stand %d\n",
                  i + 1, r.Sides[i].FirstKey, r.Sides[i].Reversals, r.Sides[i].TurnChanges,
                  r.Sides[i].Bursts, r.Sides[i].Switches, r.Sides[i].LongestStand);
    for (int w = 1; w <= LineCount; ++w)
      std::printf("wall (%.0f,%.0f)-(%.0f,%.0f)\n", Lines[w]->P1.X, Lines[w]->P1.Y, Lines[w]->P2.X,
                  Lines[w]->P2.Y);
    return 0;
  }
  Record records[5];
  int all = 0, inTime = 0;
  std::printf("| pairing | games | first wins | second wins | not over | over within 6,000 "
              "ticks | median ticks | 95th percentile | longest | blocked ticks | rule faults "
              "|\n|---|---|---|---|---|---|---|---|---|---|---|\n");
  // The person models against the levels, the levels against each other,
  // then each level against itself, where "first" means red.
  const int pairings[][2] = {{pkBeginner, pkEasy}, {pkBeginner, pkNormal}, {pkSkilled, pkNormal},
                             {pkSkilled, pkHard},  {pkHard, pkNormal},     {pkNormal, pkEasy},
                             {pkHard, pkEasy},     {pkHard, pkHard},       {pkNormal, pkNormal},
                             {pkEasy, pkEasy}};
  for (auto [first, second] : pairings) {
    int wins = 0, losses = 0, open = 0, quick = 0, blocked = 0, faults = 0;
    std::vector<int> ticks;
    for (int g = 0; g < games; ++g) {
      const bool firstRed = g % 2 == 0 || first == second;
      const int red = firstRed ? first : second, blue = firstRed ? second : first;
      const Result r = Play(field, base + 1000 + g, red, blue, base + 77 + g, 20000);
      const int firstSide = firstRed ? 1 : 2;
      wins += r.Winner == firstSide;
      losses += r.Winner == 3 - firstSide;
      open += r.Winner == 0;
      quick += r.Winner != 0 && r.Ticks <= 6000;
      blocked += r.Blocked;
      faults += r.ForeignKeys + r.HeldAfter + r.Faults;
      ticks.push_back(r.Ticks);
      records[red].Add(r.Sides[0], r.Ticks, Reaction(red));
      records[blue].Add(r.Sides[1], r.Ticks, Reaction(blue));
      if (std::getenv("TOURNAMENT_VERBOSE"))
        std::printf("pair: seed %d red %d blue %d: winner %d ticks %d longest stands %d %d "
                    "first keys %d %d\n",
                    base + 1000 + g, red, blue, r.Winner, r.Ticks, r.Sides[0].LongestStand,
                    r.Sides[1].LongestStand, r.Sides[0].FirstKey, r.Sides[1].FirstKey);
    }
    std::sort(ticks.begin(), ticks.end());
    all += games;
    inTime += quick;
    std::printf("| %s – %s | %d | %.1f %% | %.1f %% | %d | %.1f %% | %d | %d | %d | %d | %d |\n",
                KindName(first), KindName(second), games, 100.0 * wins / games,
                100.0 * losses / games, open, 100.0 * quick / games, ticks[ticks.size() / 2],
                ticks[ticks.size() * 95 / 100], ticks.back(), blocked, faults);
    std::fflush(stdout);
  }
  std::printf("\nall pairings: %.1f %% over within 6,000 ticks\n\n", 100.0 * inTime / all);
  std::printf(
      "| player | games | first key, mean tick | latest | games with it late | turns a "
      "minute | reversals a minute | of turns, reversed within 2 ticks | bursts per 200 games | "
      "stands over 2 s, s a game | of them neither aiming nor dodging | longest stand | "
      "games it switched in | switches a minute "
      "|\n|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (int kind = pkEasy; kind <= pkSkilled; ++kind) {
    const Record &k = records[kind];
    const double minutes = k.Ticks * TickSeconds / 60;
    std::printf(
        "| %s | %d | %.1f | %d | %d | %.1f | %.2f | %.1f %% | %.1f | %.2f | %.2f | %d | %.1f "
        "%% | %.2f |\n",
        KindName(kind), k.Games, double(k.FirstKeys) / k.Games, k.FirstKeyMost, k.FirstKeyLate,
        k.TurnChanges / minutes, k.Reversals / minutes,
        100.0 * k.QuickReversals / std::max(1L, k.TurnChanges), 200.0 * k.Bursts / k.Games,
        k.LongStand * TickSeconds / k.Games, k.IdleStand * TickSeconds / k.Games, k.LongestStand,
        100.0 * k.Switched / k.Games, k.Switches / minutes);
  }
  std::printf("\n| level against an idle side | games | wins within 2,400 ticks | median ticks | "
              "blocked ticks | games it switched in |\n|---|---|---|---|---|---|\n");
  for (int level = pkEasy; level <= pkHard; ++level) {
    int quick = 0, blocked = 0, switched = 0;
    std::vector<int> ticks;
    for (int g = 0; g < games; ++g) {
      const bool red = g % 2 == 0;
      const Result r = Play(field, base + 5000 + g, red ? level : pkIdle, red ? pkIdle : level,
                            base + 91 + g, 2400);
      quick += r.Winner == (red ? 1 : 2);
      switched += r.Sides[red ? 0 : 1].Switches > 0;
      if (std::getenv("TOURNAMENT_VERBOSE") && r.Winner != (red ? 1 : 2))
        std::printf("idle: seed %d level %d red %d: winner %d ticks %d\n", base + 5000 + g, level,
                    red, r.Winner, r.Ticks);
      blocked += r.Blocked;
      ticks.push_back(r.Ticks);
    }
    std::sort(ticks.begin(), ticks.end());
    std::printf("| %s | %d | %.1f %% | %d | %d | %.1f %% |\n", KindName(level), games,
                100.0 * quick / games, ticks[ticks.size() / 2], blocked, 100.0 * switched / games);
    std::fflush(stdout);
  }
  return 0;
}
