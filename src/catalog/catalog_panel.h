#pragma once
// The catalogue panel ("Sound Sample Library"): the category tree with its
// edits and drag and drop, sample import, preview, deletion and export. It
// owns the tree and what a drag under way needs; other panels learn of its
// changes through its signals.

#include "store/table.h"

#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

class IPrompts;
class QCheckBox;
class QLabel;
class QTimer;
class QTreeWidgetItem;
class TCatalogNode;
class TLibraryTables;
class TSoundServices;
class TSoundTree;
class TTable;

class TCatalogPanel : public QWidget {
    Q_OBJECT

public:
    TCatalogPanel(TLibraryTables& tables, IPrompts& prompts, TSoundServices& sound, QWidget* parent = nullptr);
    ~TCatalogPanel() override;

    TSoundTree* SoundTree = nullptr;
    QCheckBox* chkPlaySample = nullptr;
    QLabel* lblRecordCount = nullptr;
    QTimer* ScrollTimer = nullptr;

    // Image indices of the tree: 2 a sample, 3 a collapsed and 4 an
    // expanded category, 5 "Unfiled".
    static int SoundTreeGetImageIndex(const QTreeWidgetItem* node);
    // The image index of the selected node; 0 when none is selected.
    int SelectedImageIndex() const;
    // Enabling rules of the catalogue's commands.
    bool SampleSelected() const;
    bool CategorySelected() const;
    bool SubCategoryAllowed() const;
    // The SoundCatalog row of the selected sample; none unless a sample is
    // selected.
    TBookmark SelectedSampleBookmark() const;
    TCatalogNode* UnfiledNode() const { return m_unfiledNode; }
    // The direction the tree scrolls in while a drag rests at an edge.
    bool ScrollingUp() const { return m_scrollUp; }

    // ----- the category tree (category_tree.cpp)
    void BuildSoundTree();
    void AddCategorySamples(QTreeWidgetItem* node);
    void AddSubCategories(QTreeWidgetItem* node); // nullptr: the root level
    void RefileSamplesAsUnfiled(QTreeWidgetItem* node);
    void DeleteCategoryContents(QTreeWidgetItem* node);
    void SoundTreeChange(QTreeWidgetItem* node);
    bool SoundTreeEditing(QTreeWidgetItem* node) const;
    void SoundTreeEdited(QTreeWidgetItem* node, const QString& text);
    void NewCategoryExecute(int tag);
    void RemoveCategoryExecute();
    void tblSoundsAfterOpen(TTable& table);

    // ----- drag and drop inside the tree (tree_drag.cpp)
    void SoundTreeStartDrag();
    // y in the tree's client coordinates.
    bool SoundTreeDragOver(QTreeWidgetItem* target, int y);
    void SoundTreeDragDrop(QTreeWidgetItem* target);
    void SoundTreeEndDrag();
    void ScrollTimerTimer();

    // ----- sample import (sample_import.cpp)
    void ImportSampleFiles(const QStringList& paths);
    void ImportSamplesExecute();
    void FMDropFMDragDrop(const QStringList& paths);

    // ----- preview, deletion, export (sample_preview.cpp)
    void LoadPreview(QTreeWidgetItem* node);
    void PlaySampleExecute();
    void DeleteSampleExecute();
    void ExportSampleExecute();

    // The ending-pop repair of the selected sample (fix_ending_pop.cpp).
    void FixEndingPopExecute();

    // ----- category packages (category_exchange.cpp)
    void ExportCategoryExecute();
    void ImportCategoryExecute();
    // The selected category and everything below it into a package file.
    void WriteCategoryPackage(const QString& path);
    // A package's category as a new top-level category; a damaged package
    // changes nothing and is reported.
    void ReadCategoryPackage(const QString& path);
    // Samples just added to the store under "Unfiled" (a scheme import),
    // by name and RecordNo, as the last nodes of "Unfiled".
    void AddUnfiledSamples(const std::vector<std::pair<QString, int32_t>>& samples);

    // A sample renamed elsewhere: its node shows the stored name.
    void ShowSampleName(TBookmark sound, const QString& name);
    // Ends a label edit under way, storing what was typed (at close).
    void FinishEdit();
    // Drops the tree's hooks and the table events: the window is going.
    void DisconnectSoundTree();

signals:
    // A sample left the catalogue: a scheme using it must be built again.
    void SampleDeleted();
    // A sample's name changed: the rows that show it follow.
    void SampleRenamed(TBookmark sound, const QString& name);

private:
    void ConnectSoundTree();
    void RefileSamples(QTreeWidgetItem* node);

    TLibraryTables& m_tables;
    IPrompts& m_prompts;
    TSoundServices& m_sound;
    TCatalogNode* m_unfiledNode = nullptr; // always the first root node of SoundTree
    QTreeWidgetItem* m_dragNode = nullptr; // the node of the drag under way
    bool m_scrollUp = false;               // the drag auto-scroll's direction
};
