#include "wave_fixtures.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

TTempDir::TTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ambitone-audio-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary directory");
    m_path = pattern;
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::filesystem::path TTempDir::Write(const std::string& name, const TBytes& bytes) const
{
    std::filesystem::path path = m_path / name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
    return path;
}
