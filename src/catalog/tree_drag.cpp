// Drag and drop inside the category tree: a sample or a category is filed
// under another category by dropping it there, with the tree scrolling while
// the cursor rests at its top or bottom edge.
#include "catalog/catalog_node.h"
#include "catalog/catalog_panel.h"
#include "catalog/sound_tree.h"
#include "store/edit_scope.h"
#include "store/library_tables.h"

#include <QTimer>

void TCatalogPanel::SoundTreeStartDrag()
{
    m_dragNode = SoundTree->currentItem();
}

namespace {

// The category a drop on `target` would file the dragged node in, or
// nullptr when the drop would change nothing or break the tree.
QTreeWidgetItem* DropCategory(QTreeWidgetItem* dragged, QTreeWidgetItem* target)
{
    const TCatalogNodeData* nodeData = CatalogNodeData(dragged);
    if (!nodeData || !target)
        return nullptr;
    if (!IsCategoryNode(target))
        target = target->parent(); // a sample stands for its category
    if (!IsCategoryNode(target))
        return nullptr; // "Unfiled" takes nothing
    if (nodeData->IsCategory) {
        // Not onto itself, into its own subtree, or onto one of its ancestors.
        if (IsInside(target, dragged) || IsInside(dragged, target))
            return nullptr;
    } else if (dragged->parent() == target) {
        return nullptr;
    }
    return target;
}

} // namespace

bool TCatalogPanel::SoundTreeDragOver(QTreeWidgetItem* target, int y)
{
    // The edges scroll the tree while the cursor rests in them; the top
    // edge has a band of its own inside the tree, as the bottom one has.
    constexpr int kBand = 5;
    if (y < kBand) {
        m_scrollUp = true;
        ScrollTimer->start();
    } else if (y > SoundTree->viewport()->height() - kBand) {
        m_scrollUp = false;
        ScrollTimer->start();
    } else {
        ScrollTimer->stop();
    }
    if (!m_dragNode || !target || !CatalogNodeData(target) || target == m_dragNode || target == m_dragNode->parent())
        return false;
    return DropCategory(m_dragNode, target) != nullptr;
}

void TCatalogPanel::SoundTreeDragDrop(QTreeWidgetItem* target)
{
    QTreeWidgetItem* category = DropCategory(m_dragNode, target);
    if (!category)
        return;
    const TCatalogNodeData* nodeData = CatalogNodeData(m_dragNode);
    const int32_t newParent = CatalogNodeData(category)->RecordNo;
    TTable& table = nodeData->IsCategory ? *m_tables.tblCategory : *m_tables.tblSounds;
    TField& parentField = nodeData->IsCategory ? *m_tables.tblCategoryParentNo : *m_tables.tblSoundsCategory;
    table.GotoBookmark(nodeData->Bookmark);
    TEditScope edit(table, TEditScope::Edit);
    parentField.SetAsInteger(newParent);
    edit.Post();
    SoundTree->MoveNode(m_dragNode, category);
    category->setExpanded(true);
}

void TCatalogPanel::SoundTreeEndDrag()
{
    // A drag that ends in an edge band must not leave the tree scrolling.
    ScrollTimer->stop();
    m_dragNode = nullptr;
}

void TCatalogPanel::ScrollTimerTimer()
{
    SoundTree->ScrollLine(m_scrollUp);
}

