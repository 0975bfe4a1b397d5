// The places of the file dialogs: which folder holds a path, which volumes
// count as the user's, and where a path that is gone leads.
#include "ui/file_places.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(FilePlaces, APlaceHoldsItselfAndWhatIsBelowItButNotANamesake)
{
    const struct {
        const char* path;
        const char* folder;
        bool within;
    } cases[] = {
        {"/home/a", "/home/a", true}, {"/home/a/b", "/home/a", true}, {"/home/ab", "/home/a", false},
        {"/home", "/home/a", false},  {"/anything", "/", true},       {"/", "/", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsWithin(c.path, c.folder), c.within) << c.path << " in " << c.folder;
}

TEST(FilePlaces, TheDeepestPlaceHoldingAPathIsItsPlace)
{
    const QStringList places{"/", "/home/user", "/media/disk", "/home"};
    EXPECT_EQ(NearestPlace(places, "/home/user/music"), 1);
    EXPECT_EQ(NearestPlace(places, "/home/other"), 3);
    EXPECT_EQ(NearestPlace(places, "/media/disk2"), 0);
    EXPECT_EQ(NearestPlace({"/home/user"}, "/srv"), -1);
}

TEST(FilePlaces, KernelFileSystemsAndSystemFoldersAreNoUserVolumes)
{
    const struct {
        const char* type;
        const char* root;
        bool user;
    } cases[] = {
        {"ext4", "/media/disk", true}, {"vfat", "/bootstrap", true},        {"tmpfs", "/media/ram", false},
        {"ext4", "/boot/efi", false},  {"ext4", "/run/media/u/usb", false}, {"overlay", "/", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsUserVolume(c.type, c.root), c.user) << c.type << " at " << c.root;
}

TEST(FilePlaces, AGonePathLeadsToItsNearestExistingAncestor)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString base = QDir::cleanPath(temp.path());
    EXPECT_EQ(ExistingFolder(base + "/gone/deeper/"), base);
    EXPECT_EQ(ExistingFolder(base + "/./"), base);
}
