#pragma once

#include <filesystem>
#include <optional>
#include <string>

// A rename or a removal lives in the folder's entries: only a synced folder keeps it through a
// power cut. Returns the system's reason when the folder cannot be synced; a file system that
// cannot sync a folder (and needs not) counts as synced.
std::optional<std::string> SyncFolder(const std::filesystem::path &folder);
