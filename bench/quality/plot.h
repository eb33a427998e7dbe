#pragma once

#include <filesystem>
#include <string>
#include <vector>

// Vocal removed (dB) over a grid of pan positions (columns) and levels (rows), or of another
// trackbar's positions (rows) as rowName and caption say.
struct RemovalMap {
    std::string song;
    std::vector<int> pans;
    std::vector<int> levels;
    std::vector<double> removedDb;  // row by row
    std::string rowName = "level";
    std::string caption = "pan (left -30 .. right +30), low 4, high 70, left = right";
    // When given: the title, and labels that stand for the columns' and rows' numbers.
    std::string title;
    std::vector<std::string> columnLabels;
    std::vector<std::string> rowLabels;
    // When given, one a cell: green where the figure meets its goal, red where it does not,
    // in place of the removal colours. A cell whose figure is NaN has none: grey, "-".
    std::vector<bool> met;
};

// One heat map a song, side by side, each cell labelled with its figure; false when the PNG
// cannot be written.
bool DrawRemovalMaps(const std::vector<RemovalMap>& maps, const std::filesystem::path& png);
