#pragma once
// Where the record store lives: a Data directory already present beside the
// executable (a portable install) wins; otherwise the per-user data location
// $XDG_DATA_HOME/Ambitone/Data (normally ~/.local/share/Ambitone/Data).

#include <filesystem>

std::filesystem::path DefaultDataDirectory(const std::filesystem::path& executableDirectory);

// Creates the directory with its parents when missing. Raises EAmbitoneError
// with the system's reason when it cannot be made.
void EnsureDirectory(const std::filesystem::path& directory);
