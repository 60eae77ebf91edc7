// The main loop allocates nothing: a counting global operator new watches
// a thousand ticks of a running game with both players steering and
// shooting and twenty bullets in flight. Handing the drawn rectangles to Qt
// is measured apart and printed.
#include "tests/alloc/counting_new.h"
#include "tests/alloc/form_battle.h"

#include <QApplication>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <new>

namespace {

// Counts the allocations made while `Counting` is alive.
class Counting {
public:
  Counting() : Start(gAllocations) {}
  long Count() const { return gAllocations - Start; }

private:
  long Start;
};
} // namespace

namespace {

constexpr int kWarmUpTicks = 10;
constexpr int kTicks = 1000;

class AllocTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(battle::EnterRunDir(ZOFTREL_RUN_DIR))
        << "no BackgroundMusic.mid in " ZOFTREL_RUN_DIR;
    Form = battle::MakeForm();
    Game = std::make_unique<battle::FormBattle>(Form.get());
    ASSERT_TRUE(Game->Start()) << "no clear lanes for the bullets on this field";
    // The first ticks start the music; the first flush and repaint let Qt
    // set up what it keeps.
    for (int i = 0; i < kWarmUpTicks; ++i) {
      Game->Tick();
      Form->FlushDrawn();
      QApplication::processEvents();
    }
    ASSERT_TRUE(Game->Intact());
  }

  void TearDown() override {
    Game.reset();
    Form.reset();
    ClearNowOverride();
  }

  std::unique_ptr<TForm1> Form;
  std::unique_ptr<battle::FormBattle> Game;
};

TEST_F(AllocTest, TicksOfARunningGameAllocateNothing) {
  const double redAngle = Tanks[1][Players[1]->Active]->Angle;
  const TPointF bluePos = Tanks[2][Players[2]->Active]->Pos;
  long count;
  {
    Counting counting;
    for (int i = 0; i < kTicks; ++i)
      Game->Tick();
    count = counting.Count();
  }
  // The game ran as intended: nothing hit, everything moved.
  EXPECT_TRUE(Game->Intact());
  EXPECT_NE(Tanks[1][Players[1]->Active]->Angle, redAngle);
  const TPointF bluePosAfter = Tanks[2][Players[2]->Active]->Pos;
  EXPECT_TRUE(bluePosAfter.X != bluePos.X || bluePosAfter.Y != bluePos.Y);
#ifdef ZOFTREL_ASAN
  // The ticks ran under the sanitizers; only the count is left out.
  GTEST_SKIP() << "the address sanitizer replaces operator new";
#endif
  EXPECT_EQ(count, 0) << "allocations in " << kTicks << " ticks";
  std::printf("allocations in %d ticks: %ld\n", kTicks, count);
}

TEST_F(AllocTest, HandingATicksDrawingsToQt) {
  long flush = 0, repaint = 0;
  for (int i = 0; i < kTicks; ++i) {
    Game->Tick();
    {
      Counting counting;
      Form->FlushDrawn();
      flush += counting.Count();
    }
    {
      Counting counting;
      QApplication::processEvents();
      repaint += counting.Count();
    }
  }
  EXPECT_TRUE(Game->Intact());
#ifdef ZOFTREL_ASAN
  GTEST_SKIP() << "the address sanitizer replaces operator new";
#endif
  std::printf("per tick: FlushDrawn %.2f allocations, Qt's repaint of them %.2f\n",
              double(flush) / kTicks, double(repaint) / kTicks);
  RecordProperty("flush_allocs_per_tick", std::to_string(double(flush) / kTicks));
  RecordProperty("repaint_allocs_per_tick", std::to_string(double(repaint) / kTicks));
}

} // namespace

int main(int argc, char **argv) {
  battle::SetHeadlessEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  Application.Title = "Mervolo";
  return RUN_ALL_TESTS();
}
