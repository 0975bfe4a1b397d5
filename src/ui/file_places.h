#pragma once
// The places a file-choosing dialog offers (the file system root, the home
// folder, the mounted volumes a user keeps files on) and the folder tree
// that shows one place at a time. Each dialog keeps its own memory of where
// it was; only the finding of places is shared.

#include <QList>
#include <QString>
#include <QStringList>

class QByteArray;
class QComboBox;
class QFileSystemModel;
class QTreeView;
class QWidget;

struct TFilePlace {
    QString Label;
    QString Path; // clean and absolute
    bool Home = false;
};

QString CleanAbsolute(const QString& path);
// The path, or the nearest ancestor of it that still exists; the home
// folder when none does.
QString ExistingFolder(const QString& path);
// Inside the folder, or the folder itself.
bool IsWithin(const QString& path, const QString& folder);
// Not a kernel or container file system, nor mounted in a system folder.
bool IsUserVolume(const QByteArray& fileSystemType, const QString& root);

// Root, home, then the user's volumes by root path: each an existing folder,
// none twice.
QList<TFilePlace> FilePlaces();
// The index of the deepest place holding the path; -1 when none does.
int NearestPlace(const QStringList& places, const QString& path);

// The places as a combo box's items, each item's data its path.
void FillPlaceList(QComboBox* places);
// The places list ("Places") and the folder tree ("Folders", over `model`,
// directories only) of a file dialog, made as both dialogs show them.
QComboBox* MakePlaceList(QWidget* parent);
QTreeView* MakeFolderTree(QWidget* parent, QFileSystemModel* model);
// Makes the place holding the path the list's current item, quietly (no
// place is current when none holds it); returns the folder of the place,
// the file system root when none.
QString FollowPlace(QComboBox* places, const QString& path);

// The tree's root becomes the place's parent, so that the place is a node of
// its own the user can go back to; its neighbours stay out of view.
void ShowPlaceInTree(QTreeView* tree, QFileSystemModel* model, const QString& place);
// Again, for the neighbours the model has read since.
void HideSiblingsOfPlace(QTreeView* tree, const QFileSystemModel* model, const QString& place);
