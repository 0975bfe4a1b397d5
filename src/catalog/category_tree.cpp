// The category tree: built once from SoundCategory and SoundCatalog, then
// kept in step with them by every edit, the node changed in the same step
// as its row.
#include "catalog/catalog_node.h"
#include "catalog/catalog_panel.h"
#include "catalog/sound_tree.h"
#include "store/edit_scope.h"
#include "store/library_tables.h"
#include "ui/prompts.h"

#include <QLabel>

#include <unordered_map>
#include <vector>

namespace {

struct TRowRef {
    TBookmark Bookmark;
    int32_t RecordNo = 0;
    QString Name;
};

// Both tables read once, in primary order, grouped by parent: the rows a
// filter on ParentNo or Category would show, without a query per node.
struct TCatalogIndex {
    std::unordered_map<int32_t, std::vector<TRowRef>> CategoriesByParent;
    std::unordered_map<int32_t, std::vector<TRowRef>> SamplesByCategory;

    static TCatalogIndex Read(TLibraryTables& tables)
    {
        TCatalogIndex index;
        ReadTable(*tables.tblCategory, "ParentNo", index.CategoriesByParent);
        ReadTable(*tables.tblSounds, "Category", index.SamplesByCategory);
        return index;
    }

private:
    // Read in place: the cursor stays where it is and no value is built
    // per row.
    static void ReadTable(TTable& table, const char* parentColumn,
                          std::unordered_map<int32_t, std::vector<TRowRef>>& groups)
    {
        if (table.Filtered())
            table.SetFiltered(false);
        const int recordNo = table.ColumnIndex("RecordNo");
        const int parent = table.ColumnIndex(parentColumn);
        const int name = table.ColumnIndex("Name");
        table.ForEachRow([&](const TRowView& row) {
            const std::string_view text = row.Text(name);
            groups[static_cast<int32_t>(row.Integer(parent))].push_back(
                {row.Bookmark(), static_cast<int32_t>(row.Integer(recordNo)),
                 QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))});
        });
    }
};

// The rows read for the build under way, so that its steps share one read.
const TCatalogIndex* g_buildIndex = nullptr;

// The build's index, or a fresh read for a step called on its own.
class TIndexUse {
public:
    explicit TIndexUse(TLibraryTables& tables)
    {
        if (!g_buildIndex) {
            m_own = TCatalogIndex::Read(tables);
            g_buildIndex = &m_own;
            m_owner = true;
        }
    }
    ~TIndexUse()
    {
        if (m_owner)
            g_buildIndex = nullptr;
    }
    TIndexUse(const TIndexUse&) = delete;
    TIndexUse& operator=(const TIndexUse&) = delete;
    const TCatalogIndex& Index() const { return *g_buildIndex; }

private:
    TCatalogIndex m_own;
    bool m_owner = false;
};

const std::vector<TRowRef>& Group(const std::unordered_map<int32_t, std::vector<TRowRef>>& groups, int32_t key)
{
    static const std::vector<TRowRef> none;
    auto found = groups.find(key);
    return found == groups.end() ? none : found->second;
}

TCatalogNode* MakeNode(const TRowRef& row, bool isCategory)
{
    return new TCatalogNode(row.Name, TCatalogNodeData{row.Bookmark, row.RecordNo, isCategory});
}

QList<QTreeWidgetItem*> SampleNodes(const TCatalogIndex& index, int32_t category)
{
    QList<QTreeWidgetItem*> nodes;
    for (const TRowRef& row : Group(index.SamplesByCategory, category))
        nodes << MakeNode(row, false);
    return nodes;
}

// The category nodes under one parent key, each already holding its
// sub-categories (filled in turn) and then its samples. The nodes are made
// outside the tree, so that the view takes each level in one insertion.
// Only rows reachable from the root are ever made: an orphan, or a ring of
// categories naming each other, stays hidden.
QList<QTreeWidgetItem*> CategoryNodes(const TCatalogIndex& index, int32_t parent)
{
    QList<QTreeWidgetItem*> nodes;
    for (const TRowRef& row : Group(index.CategoriesByParent, parent))
        nodes << MakeNode(row, true);
    for (QTreeWidgetItem* node : nodes) {
        const int32_t key = CatalogNodeData(node)->RecordNo;
        node->addChildren(CategoryNodes(index, key));
        node->addChildren(SampleNodes(index, key));
    }
    return nodes;
}

} // namespace

void TCatalogPanel::BuildSoundTree()
{
    TIndexUse rows(m_tables);
    SoundTree->clear();
    m_unfiledNode = new TCatalogNode(QStringLiteral("Unfiled"));
    AddCategorySamples(m_unfiledNode); // filled before it enters the view
    SoundTree->addTopLevelItem(m_unfiledNode);
    AddSubCategories(nullptr);
}

void TCatalogPanel::AddCategorySamples(QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = CatalogNodeData(node);
    TIndexUse rows(m_tables);
    node->addChildren(SampleNodes(rows.Index(), nodeData ? nodeData->RecordNo : -1));
}

void TCatalogPanel::AddSubCategories(QTreeWidgetItem* node)
{
    TIndexUse rows(m_tables);
    if (!node) {
        SoundTree->addTopLevelItems(CategoryNodes(rows.Index(), 0));
        return;
    }
    node->addChildren(CategoryNodes(rows.Index(), CatalogNodeData(node)->RecordNo));
}

void TCatalogPanel::SoundTreeChange(QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = CatalogNodeData(node);
    if (!nodeData)
        return;
    if (nodeData->IsCategory)
        m_tables.tblCategory->GotoBookmark(nodeData->Bookmark); // a rename of this node writes there
    else
        LoadPreview(node);
}

bool TCatalogPanel::SoundTreeEditing(QTreeWidgetItem* node) const
{
    return CatalogNodeData(node) != nullptr;
}

void TCatalogPanel::SoundTreeEdited(QTreeWidgetItem* node, const QString& text)
{
    const TCatalogNodeData* nodeData = CatalogNodeData(node);
    if (!nodeData)
        return;
    TTable& table = nodeData->IsCategory ? *m_tables.tblCategory : *m_tables.tblSounds;
    TField& name = nodeData->IsCategory ? *m_tables.tblCategoryName : *m_tables.tblSoundsName;
    table.GotoBookmark(nodeData->Bookmark);
    TEditScope edit(table, TEditScope::Edit);
    name.SetAsString(text.toStdString());
    edit.Post();
    // The label shows what the row holds, which is the text as entered up
    // to the field's width.
    node->setText(0, QString::fromStdString(name.AsString()));
    if (!nodeData->IsCategory)
        emit SampleRenamed(nodeData->Bookmark, node->text(0));
}

void TCatalogPanel::NewCategoryExecute(int tag)
{
    QTreeWidgetItem* parentNode = nullptr;
    if (tag == 1) {
        QTreeWidgetItem* selected = SoundTree->SelectedNode();
        const TCatalogNodeData* nodeData = CatalogNodeData(selected);
        if (!nodeData)
            return;
        parentNode = nodeData->IsCategory ? selected : selected->parent();
        if (!IsCategoryNode(parentNode))
            return; // a sample under "Unfiled" has no category to nest in
    }
    {
        TEditScope append(*m_tables.tblCategory, TEditScope::Append);
        m_tables.tblCategoryName->SetAsString("New Category");
        m_tables.tblCategoryParentNo->SetAsInteger(parentNode ? CatalogNodeData(parentNode)->RecordNo : 0);
        append.Post();
    }
    // The node appears only once its row exists.
    auto* node = new TCatalogNode(
        QString::fromStdString(m_tables.tblCategoryName->AsString()),
        TCatalogNodeData{m_tables.tblCategory->GetBookmark(), m_tables.tblCategoryRecordNo->AsInteger(), true});
    if (parentNode) {
        parentNode->insertChild(0, node);
        parentNode->setExpanded(true);
    } else {
        SoundTree->addTopLevelItem(node);
    }
    SoundTree->setCurrentItem(node);
    SoundTree->StartEdit(node);
}

void TCatalogPanel::RemoveCategoryExecute()
{
    QTreeWidgetItem* node = SoundTree->SelectedNode();
    if (!IsCategoryNode(node))
        return;
    const QString label = node->text(0);
    if (node->childCount() > 0) {
        const QString text =
            QStringLiteral("The \"%1\" category contains sub-categories and/or samples.\r\n"
                           "Do you want to delete all sub-items including the samples, or\r\n"
                           "move all the samples to the \"Unfiled\" category before deleting?")
                .arg(label);
        const int choice = m_prompts.ChooseButton(QStringLiteral("Confirm"), text,
                                                   {QStringLiteral("Delete"), QStringLiteral("Move"),
                                                    QStringLiteral("Cancel")});
        if (choice == 0)
            DeleteCategoryContents(node);
        else if (choice == 1)
            RefileSamplesAsUnfiled(node);
        else
            return;
    } else if (!m_prompts.Confirm(QStringLiteral("Delete category \"%1\"?").arg(label))) {
        return;
    }
    m_tables.tblCategory->GotoBookmark(CatalogNodeData(node)->Bookmark);
    m_tables.tblCategory->Delete();
    delete node;
}

void TCatalogPanel::DeleteCategoryContents(QTreeWidgetItem* node)
{
    // Each child goes with its row, deepest first, so that whatever a
    // failure leaves in the tree still has its row.
    while (node->childCount() > 0) {
        QTreeWidgetItem* child = node->child(0);
        const TCatalogNodeData* nodeData = CatalogNodeData(child);
        if (nodeData) {
            if (nodeData->IsCategory) {
                DeleteCategoryContents(child);
                m_tables.tblCategory->GotoBookmark(nodeData->Bookmark);
                m_tables.tblCategory->Delete();
            } else {
                m_tables.tblSounds->GotoBookmark(nodeData->Bookmark);
                m_tables.tblSounds->Delete();
            }
        }
        delete child;
    }
}

// Moves every sample under the node, depth first in tree order, to the end
// of "Unfiled", filing its row as unfiled first.
void TCatalogPanel::RefileSamples(QTreeWidgetItem* node)
{
    QList<QTreeWidgetItem*> children;
    for (int i = 0; i < node->childCount(); ++i)
        children << node->child(i);
    for (QTreeWidgetItem* child : children) {
        const TCatalogNodeData* nodeData = CatalogNodeData(child);
        if (!nodeData)
            continue;
        if (nodeData->IsCategory) {
            RefileSamples(child);
            continue;
        }
        m_tables.tblSounds->GotoBookmark(nodeData->Bookmark);
        TEditScope edit(*m_tables.tblSounds, TEditScope::Edit);
        m_tables.tblSoundsCategory->SetAsInteger(-1);
        edit.Post();
        SoundTree->MoveNode(child, m_unfiledNode);
    }
}

void TCatalogPanel::RefileSamplesAsUnfiled(QTreeWidgetItem* node)
{
    RefileSamples(node);
    // Only sub-categories are left under the node now.
    DeleteCategoryContents(node);
}

void TCatalogPanel::tblSoundsAfterOpen(TTable& table)
{
    lblRecordCount->setText(QStringLiteral("%1 samples").arg(table.RecordCount()));
}
