#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Vocal removed (dB) over a grid of pan positions (columns) and levels (rows).
struct RemovalMap {
    std::string song;
    std::vector<int> pans;
    std::vector<int> levels;
    std::vector<double> removedDb;  // row by row
};

// One heat map a song, side by side, each cell labelled with its figure; false when the PNG
// cannot be written.
bool DrawRemovalMaps(const std::vector<RemovalMap>& maps, const std::filesystem::path& png);
