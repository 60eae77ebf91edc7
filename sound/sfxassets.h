// The game's sound effects, embedded in the program as the property block
// of SfxSoundLib1 (resource ":/zoftrel/SfxSoundLib1.Sounds").
#pragma once

#include "sound/sfxslib.h"

#include <cstdint>
#include <vector>

inline constexpr const char *kSfxSoundsResource = ":/zoftrel/SfxSoundLib1.Sounds";

// The bytes of the embedded property block: value-type byte, length, stream.
// EReadError "Resource not found: ..." when the program lacks it.
std::vector<uint8_t> EmbeddedSoundsBlock();

// Reads the embedded sounds into `lib`, as the window loader does with the
// "Sounds.Sounds" property.
void ReadEmbeddedSounds(TSfxSoundLib &lib);
