#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A private folder for one fuzzing process, in memory where possible so that the
// write job's fsync costs nothing. Removed when the process exits.
const std::filesystem::path& ScratchDir();

// A folder of its own inside it for one target, created on first use.
std::filesystem::path ScratchSubfolder(const std::string& name);

// Names of the entries in a folder, sorted.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);
