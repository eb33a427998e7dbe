#pragma once

// Whole files in and out for the fuzz targets; any failure is a finding.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <vector>

void WriteWhole(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size);
std::vector<std::uint8_t> ReadWhole(const std::filesystem::path& path);

// Aborts unless the file is a whole 16-bit stereo PCM WAV as the decoder writes it: header,
// optional "LIST" of tags, then one "data" chunk of whole frames, every size adding up.
void CheckDecodedWave(const std::filesystem::path& path);
