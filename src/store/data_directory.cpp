#include "store/data_directory.h"

#include "base/error.h"

#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

fs::path DefaultDataDirectory(const fs::path& executableDirectory)
{
    fs::path portable = executableDirectory / "Data";
    std::error_code ec;
    if (fs::is_directory(portable, ec))
        return portable;

    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && fs::path(xdg).is_absolute())
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local" / "share";
    else
        return portable;
    return base / "Ambitone" / "Data";
}

void EnsureDirectory(const fs::path& directory)
{
    std::error_code ec;
    if (fs::is_directory(directory, ec))
        return;
    fs::create_directories(directory, ec);
    if (ec)
        throw EAmbitoneError("Cannot create the data directory " + directory.string() + ": " + ec.message());
}
