// A window for the battlefield without any window system: a pixel buffer
// with a canvas over it, and a record of what the game asked for.
#pragma once

#include "game/battlefield.h"
#include "game/gamewindow.h"
#include "rtl/sysutils.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class FakeWindow : public TGameWindow {
public:
  // Pixel values as the canvas writes them: 0xFFRRGGBB.
  static constexpr uint32_t kOlive = 0xFF808000, kRed = 0xFFFF0000, kMagenta = 0xFFFF00FF,
                            kBlue = 0xFF0000FF, kAqua = 0xFF00FFFF, kWallGrey = 0xFF333333,
                            kBlack = 0xFF000000;
  // What lies in each row beyond the field's width; nothing may touch it.
  static constexpr uint32_t kPadding = 0x12345678;
  static constexpr int kStatusBar = 26;

  // The client area is the window's outer size, as it is without a window
  // manager's frame.
  explicit FakeWindow(int width = 1020, int height = 720)
      : W(width), H(height), Stride(width + 7), Bits(size_t(Stride) * height, kPadding) {
    for (int y = 0; y < H; ++y)
      std::fill_n(&Bits[size_t(y) * Stride], W, kOlive);
    Surface.SetPixels({Bits.data(), W, H, Stride});
    Surface.OnDrawn = [this](const TRect &r) {
      ++Drawn;
      LastDrawn = r;
    };
    // Room for any score, so that a caption costs no allocation.
    for (std::string &caption : Captions)
      caption.reserve(32);
  }

  int ClientWidth() const override { return W; }
  int ClientHeight() const override { return H; }
  int Width() const override { return W; }
  int Height() const override { return H; }
  int StatusBarHeight() const override { return kStatusBar; }
  TCanvas *Canvas() override { return &Surface; }
  TColor WindowColor() const override { return clOlive; }

  // A sound's state as a buffer would hold it.
  struct Sound {
    bool Playing = false;
    bool Looping = false;
    int Starts = 0;   // plays and loops
    int Restarts = 0; // plays from the start
  };
  void PlaySound(int32_t i) override {
    Sound &s = At(i);
    s.Playing = true;
    s.Looping = false;
    ++s.Starts;
  }
  void LoopSound(int32_t i) override {
    Sound &s = At(i);
    s.Playing = s.Looping = true;
    ++s.Starts;
  }
  void StopSound(int32_t i) override { At(i).Playing = At(i).Looping = false; }
  void RestartSound(int32_t i) override {
    PlaySound(i);
    ++At(i).Restarts;
  }
  void Beep() override { ++Beeps; }

  struct Marker {
    bool Visible = false;
    TPointF At;
  };
  void ShowMarker(TMarker marker, TPointF at) override {
    Marker &m = marker == TMarker::Star ? Star : Bird;
    m.Visible = true;
    m.At = at;
  }
  void SetScoreCaption(int32_t player, std::string_view caption) override {
    Captions[player == 1 ? 1 : 2] = caption;
  }
  void GameOver() override {
    ++GameOvers;
    Running = false;
  }

  uint32_t Pixel(int x, int y) const { return Bits[size_t(y) * Stride + x]; }
  // The pixels of a colour inside an area (right and bottom exclusive).
  int Count(TRect area, uint32_t colour) const {
    area = area.Intersected({0, 0, W, H});
    int n = 0;
    for (int y = area.Top; y < area.Bottom; ++y)
      for (int x = area.Left; x < area.Right; ++x)
        n += Pixel(x, y) == colour;
    return n;
  }
  int CountAll(uint32_t colour) const { return Count({0, 0, W, H}, colour); }
  // Rows untouched beyond the field's width.
  bool PaddingIntact() const {
    for (int y = 0; y < H; ++y)
      for (int x = W; x < Stride; ++x)
        if (Pixel(x, y) != kPadding)
          return false;
    return true;
  }
  std::vector<uint32_t> Snapshot() const { return Bits; }
  bool operator==(const std::vector<uint32_t> &pixels) const { return Bits == pixels; }

  Sound Sounds[13];
  int Beeps = 0;
  Marker Star, Bird;
  std::string Captions[3];
  int GameOvers = 0;
  // A game runs: keys press; cleared by the game over.
  bool Running = false;
  int Drawn = 0;
  TRect LastDrawn;

private:
  Sound &At(int32_t i) {
    if (i < 0 || i >= 13)
      throw std::out_of_range("no sound " + std::to_string(i));
    return Sounds[i];
  }

  int W, H, Stride;
  std::vector<uint32_t> Bits;
  TCanvas Surface;
};

// Hands the window to the game and makes the game's objects as the main
// window makes them for a field of the window's width.
inline void MakeGameIn(FakeWindow &window) {
  GameWindow = &window;
  BallCount = 20;
  PlayerCount = 2;
  TanksPerPlayer = 3;
  LineCount = 6;
  BallRange = Round(window.ClientWidth() * (1.0 / 14));
  CreateGameObjects();
  ResetGame();
}
// Clears the game's objects and takes the window back from the game.
inline void ClearGameFrom(FakeWindow &window) {
  ClearGameObjects();
  if (GameWindow == &window)
    GameWindow = nullptr;
}
