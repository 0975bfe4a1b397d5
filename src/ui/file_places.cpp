#include "ui/file_places.h"

#include "ui/hints.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QSet>
#include <QSignalBlocker>
#include <QStorageInfo>
#include <QStyle>
#include <QTreeView>

#include <algorithm>

namespace {

// Kernel and container file systems: nothing a user keeps files on.
bool IsPseudoFileSystem(const QByteArray& type)
{
    static const QSet<QByteArray> pseudo{
        "proc",      "sysfs",           "tmpfs",       "devtmpfs",      "devpts",     "overlay",
        "squashfs",  "cgroup",          "cgroup2",     "securityfs",    "pstore",     "debugfs",
        "tracefs",   "configfs",        "fusectl",     "mqueue",        "hugetlbfs",  "bpf",
        "autofs",    "binfmt_misc",     "efivarfs",    "ramfs",         "rpc_pipefs", "nsfs",
        "selinuxfs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.snapfuse", "nfsd"};
    return pseudo.contains(type);
}

// System folders whose mounts are the system's own business.
bool IsSystemMount(const QString& root)
{
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot", "/var/lib", "/etc"})
        if (IsWithin(root, QString::fromLatin1(prefix)))
            return true;
    return false;
}

} // namespace

QString CleanAbsolute(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString ExistingFolder(const QString& path)
{
    QString folder = CleanAbsolute(path);
    while (!QFileInfo(folder).isDir()) {
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            return QDir::homePath();
        folder = up;
    }
    return folder;
}

bool IsWithin(const QString& path, const QString& folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

bool IsUserVolume(const QByteArray& fileSystemType, const QString& root)
{
    return !IsPseudoFileSystem(fileSystemType) && !IsSystemMount(root);
}

QList<TFilePlace> FilePlaces()
{
    QList<TFilePlace> places;
    auto add = [&](const QString& label, const QString& path, bool home) {
        const QString clean = CleanAbsolute(path);
        const bool seen =
            std::any_of(places.cbegin(), places.cend(), [&](const TFilePlace& place) { return place.Path == clean; });
        if (!seen && QFileInfo(clean).isDir())
            places.append({label, clean, home});
    };
    add(QStringLiteral("File system"), QStringLiteral("/"), false);
    add(QStringLiteral("Home"), QDir::homePath(), true);

    QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    std::sort(volumes.begin(), volumes.end(),
              [](const QStorageInfo& a, const QStorageInfo& b) { return a.rootPath() < b.rootPath(); });
    for (const QStorageInfo& volume : volumes) {
        if (!volume.isValid() || !volume.isReady() || !IsUserVolume(volume.fileSystemType(), volume.rootPath()))
            continue;
        const QString name = volume.displayName();
        const QString root = volume.rootPath();
        add(name == root ? root : QStringLiteral("%1 (%2)").arg(name, root), root, false);
    }
    return places;
}

int NearestPlace(const QStringList& places, const QString& path)
{
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < places.size(); ++i) {
        if (IsWithin(path, places[i]) && places[i].size() > bestLength) {
            best = i;
            bestLength = places[i].size();
        }
    }
    return best;
}

void FillPlaceList(QComboBox* places)
{
    for (const TFilePlace& place : FilePlaces())
        places->addItem(places->style()->standardIcon(place.Home ? QStyle::SP_DirHomeIcon : QStyle::SP_DriveHDIcon),
                        place.Label, place.Path);
}

QString FollowPlace(QComboBox* places, const QString& path)
{
    QStringList folders;
    for (int i = 0; i < places->count(); ++i)
        folders << places->itemData(i).toString();
    const int place = NearestPlace(folders, path);
    {
        QSignalBlocker quiet(places);
        places->setCurrentIndex(place);
    }
    return place >= 0 ? folders[place] : QStringLiteral("/");
}

void ShowPlaceInTree(QTreeView* tree, QFileSystemModel* model, const QString& place)
{
    model->setRootPath(place);
    const QModelIndex placeIndex = model->index(place);
    tree->setRootIndex(placeIndex.parent());
    HideSiblingsOfPlace(tree, model, place);
    tree->expand(placeIndex);
}

void HideSiblingsOfPlace(QTreeView* tree, const QFileSystemModel* model, const QString& place)
{
    const QModelIndex root = tree->rootIndex();
    const QModelIndex placeIndex = model->index(place);
    for (int row = 0; row < model->rowCount(root); ++row)
        tree->setRowHidden(row, root, model->index(row, 0, root) != placeIndex);
}

QComboBox* MakePlaceList(QWidget* parent)
{
    auto* places = new QComboBox(parent);
    places->setObjectName("DriveComboBox1");
    places->setAccessibleName(QStringLiteral("Places"));
    places->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    places->setMinimumContentsLength(10);
    SetHint(places, QStringLiteral("Places|The file system, your home folder and the mounted volumes."));
    return places;
}

QTreeView* MakeFolderTree(QWidget* parent, QFileSystemModel* model)
{
    model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    model->setReadOnly(true);
    auto* tree = new QTreeView(parent);
    tree->setObjectName("Directory");
    tree->setAccessibleName(QStringLiteral("Folders"));
    tree->setModel(model);
    for (int column = 1; column < model->columnCount(); ++column)
        tree->hideColumn(column);
    tree->setHeaderHidden(true);
    tree->setIndentation(12);
    tree->setUniformRowHeights(true);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    tree->header()->setStretchLastSection(false);
    return tree;
}
