#pragma once
// The nodes of the sound tree. Every node but "Unfiled" carries a
// TCatalogNodeData naming its row; the node holds it, so that it goes with
// the node and moves with it.

#include "store/table.h"

#include <QIcon>
#include <QTreeWidgetItem>

#include <cstdint>
#include <optional>

struct TCatalogNodeData {
    TBookmark Bookmark;      // a SoundCatalog row for a sample, a SoundCategory row for a category
    int32_t RecordNo = 0;    // the row's RecordNo
    bool IsCategory = false;
};

class TCatalogNode : public QTreeWidgetItem {
public:
    static constexpr int NodeType = QTreeWidgetItem::UserType + 1;
    // Item data of the tree's nodes: the row's RecordNo (none for
    // "Unfiled"), and the node's image index.
    static constexpr int NodeDataRole = Qt::UserRole;
    static constexpr int NodeImageRole = Qt::UserRole + 1;

    explicit TCatalogNode(const QString& label, std::optional<TCatalogNodeData> data = {});

    TCatalogNodeData* Data() { return m_data ? &*m_data : nullptr; }
    const TCatalogNodeData* Data() const { return m_data ? &*m_data : nullptr; }
    void SetData(std::optional<TCatalogNodeData> data);

    // The image index (and its icon) follow the node's data and expanded
    // state whenever the view asks; the data role tells whether the node
    // has data.
    QVariant data(int column, int role) const override;

private:
    std::optional<TCatalogNodeData> m_data;
};

// The icon of a tree image index: 2 a sample, 3 a closed folder, 4 an open
// folder, 5 the "Unfiled" tray. Any other index gives no icon.
QIcon CatalogIcon(int imageIndex);

// The data of a node of the sound tree; nullptr for "Unfiled" and for any
// item that is not a catalogue node.
TCatalogNodeData* CatalogNodeData(const QTreeWidgetItem* node);
bool IsCategoryNode(const QTreeWidgetItem* node);
// Whether node is ancestor or lies below it.
bool IsInside(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor);
// 2 a sample, 3 a collapsed and 4 an expanded category, 5 "Unfiled".
int CatalogImageIndex(const QTreeWidgetItem* node);
