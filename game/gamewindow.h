// What the battlefield asks of the window it is played in, and nothing
// more: the field's size, a canvas over the window's pixels, the sounds of
// the window's sound library, the two markers, the score captions and the
// change at the end of a game. The main window implements it and hands
// itself over in GameWindow when it is made.
#pragma once

#include "game/common.h"
#include "rtl/canvas.h"
#include "rtl/colors.h"

#include <cstdint>
#include <string_view>

// The pictures that mark a spot for a few ticks.
enum class TMarker {
  Star, // where a bullet stopped
  Bird  // where a tank was destroyed
};

class TGameWindow {
public:
  virtual ~TGameWindow() = default;

  // The client area, where the game draws, in pixels.
  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  // The window's outer size, frame and caption included; walls and tanks
  // are placed by it.
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // The strip of status bars at the bottom of the client area, which
  // tanks never enter.
  virtual int StatusBarHeight() const = 0;

  // The canvas over the client area, and the window's colour, which
  // paints a shape over without a trace.
  virtual TCanvas *Canvas() = 0;
  virtual TColor WindowColor() const = 0;

  // Sounds of the window's library, by their index: play on from where the
  // sound is, play in a loop, stop, and play again from the start.
  virtual void PlaySound(int32_t index) = 0;
  virtual void LoopSound(int32_t index) = 0;
  virtual void StopSound(int32_t index) = 0;
  virtual void RestartSound(int32_t index) = 0;
  // The system's short beep.
  virtual void Beep() = 0;

  // Centres a marker on a point of the field and shows it.
  virtual void ShowMarker(TMarker marker, TPointF at) = 0;
  // The score caption of player 1 (red) or 2 (blue), in UTF-8.
  virtual void SetScoreCaption(int32_t player, std::string_view caption) = 0;
  // A player has lost the last tank: the main loop stops, New game and
  // About... show with New game focused, and the music stops.
  virtual void GameOver() = 0;
};

// The window the game is played in; null while there is none.
extern TGameWindow *GameWindow;
