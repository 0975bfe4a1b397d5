#pragma once
// The audio tests' fixtures: the shared RIFF image builder, and a temporary
// directory for files the waves are read from.

#include "support/wave_image.h"

#include <filesystem>
#include <string>

// A fresh directory under the system's temporary folder, removed with
// everything in it when the object goes.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    // Writes `bytes` to a file of the directory and returns its path.
    std::filesystem::path Write(const std::string& name, const TBytes& bytes) const;

private:
    std::filesystem::path m_path;
};
