// What a test needs to play something through the real player: the test clip written as a .kuz
// file, and a way to see that the player plays it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "PlayerDriver.h"

// The key the player's key field starts with.
inline constexpr char SampleKeyText[] = "d47e09c3a1f85b2e6c70d9a4e13b8f56";

// Writes Plaintext as the .kuz file Path, encrypted with KeyText; whether it worked.
bool WriteKuzFile(const std::wstring& Path, std::span<const std::uint8_t> Plaintext, const char* KeyText);

// Encrypts the file Clip with the sample key into the temp folder as Name; the path written, or
// empty when reading or writing failed.
std::wstring WriteSampleKuz(const std::string& Clip, const std::wstring& Name);

// The video renderer's own window ("ActiveMovie Window"), which exists while a graph with video
// is built, in the player's process; null when none shows.
HWND VideoWindowOf(const PlayerProcess& Player);
inline bool VideoWindowShown(const PlayerProcess& Player) { return VideoWindowOf(Player) != nullptr; }
