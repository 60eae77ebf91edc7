// Colours as the window system holds them: $00BBGGRR, red in the low byte
// and blue in the third.
#pragma once

#include <cstdint>

using TColor = uint32_t;

constexpr TColor RGBColor(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}
constexpr TColor clOlive = RGBColor(128, 128, 0);
constexpr TColor clMaroon = RGBColor(128, 0, 0);
constexpr TColor clRed = RGBColor(255, 0, 0);
constexpr TColor clBlue = RGBColor(0, 0, 255);
constexpr TColor clBlack = RGBColor(0, 0, 0);
constexpr TColor clWhite = RGBColor(255, 255, 255);
constexpr TColor clWindowText = clBlack;
