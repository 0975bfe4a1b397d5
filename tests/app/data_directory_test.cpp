// Where the record store lives: a portable Data directory beside the
// executable wins, otherwise the per-user data location.
#include "store/data_directory.h"

#include "base/error.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

class TEnvironmentVariable {
public:
    TEnvironmentVariable(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~TEnvironmentVariable()
    {
        if (m_old)
            setenv(m_name, m_old->c_str(), 1);
        else
            unsetenv(m_name);
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

TEST(DataDirectory, PortableDirectoryBesideTheExecutableWinsOverThePerUserOne)
{
    QTemporaryDir dir;
    fs::path root = dir.path().toStdString();
    fs::path exeDir = root / "bin";
    fs::create_directories(exeDir);
    TEnvironmentVariable xdg("XDG_DATA_HOME", (root / "xdg").c_str());
    EXPECT_EQ(DefaultDataDirectory(exeDir), root / "xdg" / "Ambitone" / "Data");

    fs::create_directories(exeDir / "Data");
    EXPECT_EQ(DefaultDataDirectory(exeDir), exeDir / "Data");
}

TEST(DataDirectory, WithoutXdgDataHomeTheHomeDirectoryIsUsed)
{
    QTemporaryDir dir;
    fs::path root = dir.path().toStdString();
    TEnvironmentVariable xdg("XDG_DATA_HOME", nullptr);
    TEnvironmentVariable home("HOME", root.c_str());
    EXPECT_EQ(DefaultDataDirectory(root / "bin"), root / ".local" / "share" / "Ambitone" / "Data");
    // A relative XDG_DATA_HOME is not a valid base and is ignored.
    TEnvironmentVariable relative("XDG_DATA_HOME", "relative/dir");
    EXPECT_EQ(DefaultDataDirectory(root / "bin"), root / ".local" / "share" / "Ambitone" / "Data");
}

TEST(DataDirectory, MissingParentsAreCreatedAndAFileInTheWayIsReported)
{
    QTemporaryDir dir;
    fs::path root = dir.path().toStdString();
    EnsureDirectory(root / "a" / "b" / "Data");
    EXPECT_TRUE(fs::is_directory(root / "a" / "b" / "Data"));
    EnsureDirectory(root / "a" / "b" / "Data"); // already there: nothing to do

    std::FILE* blocker = std::fopen((root / "file").c_str(), "w");
    ASSERT_NE(blocker, nullptr);
    std::fclose(blocker);
    EXPECT_THROW(EnsureDirectory(root / "file" / "Data"), EAmbitoneError);
}
