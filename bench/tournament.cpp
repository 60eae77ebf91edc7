// Computer against computer, headless and as fast as the CPU allows: each
// pairing of levels plays a number of seeded games, the stronger side red
// in half of them; then every level plays against a side that never
// presses a key. Prints the share of wins and of games over in time.
//
// Run: build/bench/tournament [GAMES [BASE]]
//      build/bench/tournament 1 SEED RED BLUE EVERY [COMPUTERSEED]
//      (one game traced: the tanks every EVERY ticks; -1 leaves a side idle)
#include "tests/game/headless.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv) {
  const int games = argc > 1 ? std::atoi(argv[1]) : 200;
  // Another set of layouts and of the computer's choices: BASE.
  const int base = argc == 3 ? std::atoi(argv[2]) : 0;
  headless::Field field;
  if (argc > 5) {
    // One game, traced: GAMES SEED RED BLUE EVERY
    headless::Trace = std::atoi(argv[5]);
    const headless::Result r =
        headless::Play(field, std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                       argc > 6 ? std::atoi(argv[6]) : 5, 20000);
    std::printf("winner %d after %d ticks, blocked %d\n", r.Winner, r.Ticks, r.Blocked);
    for (int w = 1; w <= LineCount; ++w)
      std::printf("wall (%.0f,%.0f)-(%.0f,%.0f)\n", Lines[w]->P1.X, Lines[w]->P1.Y, Lines[w]->P2.X,
                  Lines[w]->P2.Y);
    return 0;
  }
  const char *names[3] = {"easy", "normal", "hard"};
  int all = 0, inTime = 0;
  std::printf("| pairing | games | stronger wins | weaker wins | not over | over within 6,000 "
              "ticks | median ticks | 95th percentile | longest | blocked ticks | rule faults "
              "|\n|---|---|---|---|---|---|---|---|---|---|---|\n");
  // Then each level against itself, where "stronger" means red.
  const int pairings[6][2] = {{2, 0}, {2, 1}, {1, 0}, {2, 2}, {1, 1}, {0, 0}};
  for (auto [strong, weak] : pairings) {
    int wins = 0, losses = 0, open = 0, quick = 0, blocked = 0, faults = 0;
    std::vector<int> ticks;
    for (int g = 0; g < games; ++g) {
      const bool strongRed = g % 2 == 0 || strong == weak;
      const headless::Result r = headless::Play(field, base + 1000 + g, strongRed ? strong : weak,
                                                strongRed ? weak : strong, base + 77 + g, 20000);
      const int strongSide = strongRed ? 1 : 2;
      wins += r.Winner == strongSide;
      losses += r.Winner == 3 - strongSide;
      open += r.Winner == 0;
      quick += r.Winner != 0 && r.Ticks <= 6000;
      blocked += r.Blocked;
      faults += r.ForeignKeys + r.HeldAfter + r.Faults;
      ticks.push_back(r.Ticks);
      if (std::getenv("TOURNAMENT_VERBOSE") && (r.Winner != strongSide || r.Ticks > 6000))
        std::printf("pair: seed %d red %d blue %d: winner %d ticks %d\n", base + 1000 + g,
                    strongRed ? strong : weak, strongRed ? weak : strong, r.Winner, r.Ticks);
    }
    std::sort(ticks.begin(), ticks.end());
    all += games;
    inTime += quick;
    std::printf("| %s – %s | %d | %.1f %% | %.1f %% | %d | %.1f %% | %d | %d | %d | %d | %d |\n",
                names[strong], names[weak], games, 100.0 * wins / games, 100.0 * losses / games,
                open, 100.0 * quick / games, ticks[ticks.size() / 2],
                ticks[ticks.size() * 95 / 100], ticks.back(), blocked, faults);
    std::fflush(stdout);
  }
  std::printf("\nall pairings: %.1f %% over within 6,000 ticks\n\n", 100.0 * inTime / all);
  std::printf("| level against an idle side | games | wins within 2,400 ticks | median ticks | "
              "blocked ticks |\n|---|---|---|---|---|\n");
  for (int level = 0; level < 3; ++level) {
    int quick = 0, blocked = 0;
    std::vector<int> ticks;
    for (int g = 0; g < games; ++g) {
      const bool red = g % 2 == 0;
      const headless::Result r = headless::Play(field, base + 5000 + g, red ? level : -1,
                                                red ? -1 : level, base + 91 + g, 2400);
      quick += r.Winner == (red ? 1 : 2);
      if (std::getenv("TOURNAMENT_VERBOSE") && r.Winner != (red ? 1 : 2))
        std::printf("idle: seed %d level %d red %d: winner %d ticks %d\n", base + 5000 + g, level,
                    red, r.Winner, r.Ticks);
      blocked += r.Blocked;
      ticks.push_back(r.Ticks);
    }
    std::sort(ticks.begin(), ticks.end());
    std::printf("| %s | %d | %.1f %% | %d | %d |\n", names[level], games, 100.0 * quick / games,
                ticks[ticks.size() / 2], blocked);
    std::fflush(stdout);
  }
  return 0;
}
