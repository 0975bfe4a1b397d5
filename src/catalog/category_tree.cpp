// The category tree: built once from SoundCategory and SoundCatalog, then
// kept in step with them by every edit, the node changed in the same step
// as its row.
#include "app/application.h"
#include "app/frm_main.h"
#include "app/prompts.h"
#include "catalog/catalog_node.h"
#include "catalog/sound_tree.h"

#include <QLabel>
#include <QSignalBlocker>
#include <QTimer>

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

    static TCatalogIndex Read(TfrmMain& form)
    {
        TCatalogIndex index;
        ReadTable(*form.tblCategory, "ParentNo", index.CategoriesByParent);
        ReadTable(*form.tblSounds, "Category", index.SamplesByCategory);
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
    explicit TIndexUse(TfrmMain& form)
    {
        if (!g_buildIndex) {
            m_own = TCatalogIndex::Read(form);
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
        const int32_t key = TfrmMain::NodeData(node)->RecordNo;
        node->addChildren(CategoryNodes(index, key));
        node->addChildren(SampleNodes(index, key));
    }
    return nodes;
}

// Runs a hook of the tree, showing what it raises: the view's own code
// must never see an exception.
template <class F>
void Guarded(IPrompts* prompts, F&& work)
{
    try {
        work();
    } catch (...) {
        ShowCurrentException(prompts);
    }
}

bool IsCategoryNode(const QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = TfrmMain::NodeData(node);
    return nodeData && nodeData->IsCategory;
}

bool IsInside(const QTreeWidgetItem* node, const QTreeWidgetItem* ancestor)
{
    for (; node; node = node->parent())
        if (node == ancestor)
            return true;
    return false;
}

QTreeWidgetItem* SelectedNode(const TSoundTree* tree)
{
    QTreeWidgetItem* node = tree->currentItem();
    return node && node->isSelected() ? node : nullptr;
}

// Moves a node to the end of another's children with its label and data,
// keeping it the current node if it was; the tree's selection events stay
// quiet, as no other node was chosen by the user.
void MoveNode(TSoundTree* tree, QTreeWidgetItem* node, QTreeWidgetItem* newParent)
{
    QSignalBlocker quiet(tree);
    const bool wasCurrent = tree->currentItem() == node;
    QTreeWidgetItem* oldParent = node->parent();
    if (oldParent)
        oldParent->removeChild(node);
    else
        tree->takeTopLevelItem(tree->indexOfTopLevelItem(node));
    newParent->addChild(node);
    if (wasCurrent)
        tree->setCurrentItem(node);
}

} // namespace

TCatalogNodeData* TfrmMain::NodeData(const QTreeWidgetItem* node)
{
    if (!node || node->type() != TCatalogNode::NodeType)
        return nullptr;
    return const_cast<TCatalogNode*>(static_cast<const TCatalogNode*>(node))->Data();
}

int TfrmMain::SoundTreeGetImageIndex(const QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = NodeData(node);
    if (!nodeData)
        return 5;
    if (!nodeData->IsCategory)
        return 2;
    return node->isExpanded() ? 4 : 3;
}

void TfrmMain::ConnectSoundTree()
{
    SoundTree->OnEditing = [this](QTreeWidgetItem* node) { return SoundTreeEditing(node); };
    SoundTree->OnEdited = [this](QTreeWidgetItem* node, const QString& text) {
        Guarded(m_prompts, [&] { SoundTreeEdited(node, text); });
    };
    SoundTree->OnStartDrag = [this] { SoundTreeStartDrag(); };
    SoundTree->OnDragOver = [this](QTreeWidgetItem* target, int y) { return SoundTreeDragOver(target, y); };
    SoundTree->OnDragDrop = [this](QTreeWidgetItem* target) {
        Guarded(m_prompts, [&] { SoundTreeDragDrop(target); });
    };
    SoundTree->OnEndDrag = [this] { SoundTreeEndDrag(); };
    SoundTree->OnFilesDropped = [this](const QStringList& paths) {
        Guarded(m_prompts, [&] { FMDropFMDragDrop(paths); });
    };
    connect(SoundTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        Guarded(m_prompts, [&] { SoundTreeChange(current); });
    });
    connect(ScrollTimer, &QTimer::timeout, this, [this] { ScrollTimerTimer(); });
    lblRecordCount->setText(QStringLiteral("Record Count"));
    auto count = [this](TTable& table) { tblSoundsAfterOpen(table); };
    tblSounds->AfterOpen = count;
    tblSounds->AfterPost = count;
    tblSounds->AfterDelete = count;
}

void TfrmMain::DisconnectSoundTree()
{
    if (!SoundTree)
        return;
    SoundTree->ClearHooks();
    SoundTree->disconnect(this);
    if (tblSounds)
        tblSounds->AfterOpen = tblSounds->AfterPost = tblSounds->AfterDelete = nullptr;
}

void TfrmMain::BuildSoundTree()
{
    TIndexUse rows(*this);
    SoundTree->clear();
    UnfiledNode = new TCatalogNode(QStringLiteral("Unfiled"));
    AddCategorySamples(UnfiledNode); // filled before it enters the view
    SoundTree->addTopLevelItem(UnfiledNode);
    AddSubCategories(nullptr);
}

void TfrmMain::AddCategorySamples(QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = NodeData(node);
    TIndexUse rows(*this);
    node->addChildren(SampleNodes(rows.Index(), nodeData ? nodeData->RecordNo : -1));
}

void TfrmMain::AddSubCategories(QTreeWidgetItem* node)
{
    TIndexUse rows(*this);
    if (!node) {
        SoundTree->addTopLevelItems(CategoryNodes(rows.Index(), 0));
        return;
    }
    node->addChildren(CategoryNodes(rows.Index(), NodeData(node)->RecordNo));
}

void TfrmMain::SoundTreeChange(QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = NodeData(node);
    if (!nodeData)
        return;
    if (nodeData->IsCategory)
        tblCategory->GotoBookmark(nodeData->Bookmark); // a rename of this node writes there
    else
        LoadPreview(node);
}

bool TfrmMain::SoundTreeEditing(QTreeWidgetItem* node) const
{
    return NodeData(node) != nullptr;
}

void TfrmMain::SoundTreeEdited(QTreeWidgetItem* node, const QString& text)
{
    const TCatalogNodeData* nodeData = NodeData(node);
    if (!nodeData)
        return;
    TTable& table = nodeData->IsCategory ? *tblCategory : *tblSounds;
    TField& name = nodeData->IsCategory ? *tblCategoryName : *tblSoundsName;
    table.GotoBookmark(nodeData->Bookmark);
    table.Edit();
    try {
        name.SetAsString(text.toStdString());
        table.Post();
    } catch (...) {
        table.Cancel();
        throw;
    }
    // The label shows what the row holds, which is the text as entered up
    // to the field's width.
    node->setText(0, QString::fromStdString(name.AsString()));
}

void TfrmMain::NewCategoryExecute(int tag)
{
    QTreeWidgetItem* parentNode = nullptr;
    if (tag == 1) {
        QTreeWidgetItem* selected = SelectedNode(SoundTree);
        const TCatalogNodeData* nodeData = NodeData(selected);
        if (!nodeData)
            return;
        parentNode = nodeData->IsCategory ? selected : selected->parent();
        if (!IsCategoryNode(parentNode))
            return; // a sample under "Unfiled" has no category to nest in
    }
    tblCategory->Append();
    try {
        tblCategoryName->SetAsString("New Category");
        tblCategoryParentNo->SetAsInteger(parentNode ? NodeData(parentNode)->RecordNo : 0);
        tblCategory->Post();
    } catch (...) {
        tblCategory->Cancel();
        throw;
    }
    // The node appears only once its row exists.
    auto* node = new TCatalogNode(
        QString::fromStdString(tblCategoryName->AsString()),
        TCatalogNodeData{tblCategory->GetBookmark(), tblCategoryRecordNo->AsInteger(), true});
    if (parentNode) {
        parentNode->insertChild(0, node);
        parentNode->setExpanded(true);
    } else {
        SoundTree->addTopLevelItem(node);
    }
    SoundTree->setCurrentItem(node);
    SoundTree->StartEdit(node);
}

void TfrmMain::RemoveCategoryExecute()
{
    QTreeWidgetItem* node = SelectedNode(SoundTree);
    if (!IsCategoryNode(node))
        return;
    const QString label = node->text(0);
    if (node->childCount() > 0) {
        const QString text =
            QStringLiteral("The \"%1\" category contains sub-categories and/or samples.\r\n"
                           "Do you want to delete all sub-items including the samples, or\r\n"
                           "move all the samples to the \"Unfiled\" category before deleting?")
                .arg(label);
        const int choice = m_prompts->ChooseButton(QStringLiteral("Confirm"), text,
                                                   {QStringLiteral("Delete"), QStringLiteral("Move"),
                                                    QStringLiteral("Cancel")});
        if (choice == 0)
            DeleteCategoryContents(node);
        else if (choice == 1)
            RefileSamplesAsUnfiled(node);
        else
            return;
    } else if (!m_prompts->Confirm(QStringLiteral("Delete category \"%1\"?").arg(label))) {
        return;
    }
    tblCategory->GotoBookmark(NodeData(node)->Bookmark);
    tblCategory->Delete();
    delete node;
}

void TfrmMain::DeleteCategoryContents(QTreeWidgetItem* node)
{
    // Each child goes with its row, deepest first, so that whatever a
    // failure leaves in the tree still has its row.
    while (node->childCount() > 0) {
        QTreeWidgetItem* child = node->child(0);
        const TCatalogNodeData* nodeData = NodeData(child);
        if (nodeData) {
            if (nodeData->IsCategory) {
                DeleteCategoryContents(child);
                tblCategory->GotoBookmark(nodeData->Bookmark);
                tblCategory->Delete();
            } else {
                tblSounds->GotoBookmark(nodeData->Bookmark);
                tblSounds->Delete();
            }
        }
        delete child;
    }
}

namespace {

// Moves every sample under the node, depth first in tree order, to the end
// of "Unfiled", filing its row as unfiled first.
void RefileSamples(TfrmMain& form, QTreeWidgetItem* node)
{
    QList<QTreeWidgetItem*> children;
    for (int i = 0; i < node->childCount(); ++i)
        children << node->child(i);
    for (QTreeWidgetItem* child : children) {
        const TCatalogNodeData* nodeData = TfrmMain::NodeData(child);
        if (!nodeData)
            continue;
        if (nodeData->IsCategory) {
            RefileSamples(form, child);
            continue;
        }
        form.tblSounds->GotoBookmark(nodeData->Bookmark);
        form.tblSounds->Edit();
        try {
            form.tblSoundsCategory->SetAsInteger(-1);
            form.tblSounds->Post();
        } catch (...) {
            form.tblSounds->Cancel();
            throw;
        }
        MoveNode(form.SoundTree, child, form.UnfiledNode);
    }
}

} // namespace

void TfrmMain::RefileSamplesAsUnfiled(QTreeWidgetItem* node)
{
    RefileSamples(*this, node);
    // Only sub-categories are left under the node now.
    DeleteCategoryContents(node);
}

void TfrmMain::SoundTreeStartDrag()
{
    DragNode = SoundTree->currentItem();
}

namespace {

// The category a drop on `target` would file the dragged node in, or
// nullptr when the drop would change nothing or break the tree.
QTreeWidgetItem* DropCategory(QTreeWidgetItem* dragged, QTreeWidgetItem* target)
{
    const TCatalogNodeData* nodeData = TfrmMain::NodeData(dragged);
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

bool TfrmMain::SoundTreeDragOver(QTreeWidgetItem* target, int y)
{
    // The edges scroll the tree while the cursor rests in them; the top
    // edge has a band of its own inside the tree, as the bottom one has.
    constexpr int kBand = 5;
    if (y < kBand) {
        ScrollUp = true;
        ScrollTimer->start();
    } else if (y > SoundTree->viewport()->height() - kBand) {
        ScrollUp = false;
        ScrollTimer->start();
    } else {
        ScrollTimer->stop();
    }
    if (!DragNode || !target || !NodeData(target) || target == DragNode || target == DragNode->parent())
        return false;
    return DropCategory(DragNode, target) != nullptr;
}

void TfrmMain::SoundTreeDragDrop(QTreeWidgetItem* target)
{
    QTreeWidgetItem* category = DropCategory(DragNode, target);
    if (!category)
        return;
    const TCatalogNodeData* nodeData = NodeData(DragNode);
    const int32_t newParent = NodeData(category)->RecordNo;
    TTable& table = nodeData->IsCategory ? *tblCategory : *tblSounds;
    TField& parentField = nodeData->IsCategory ? *tblCategoryParentNo : *tblSoundsCategory;
    table.GotoBookmark(nodeData->Bookmark);
    table.Edit();
    try {
        parentField.SetAsInteger(newParent);
        table.Post();
    } catch (...) {
        table.Cancel();
        throw;
    }
    MoveNode(SoundTree, DragNode, category);
    category->setExpanded(true);
}

void TfrmMain::SoundTreeEndDrag()
{
    // A drag that ends in an edge band must not leave the tree scrolling.
    ScrollTimer->stop();
    DragNode = nullptr;
}

void TfrmMain::ScrollTimerTimer()
{
    SoundTree->ScrollLine(ScrollUp);
}

void TfrmMain::tblSoundsAfterOpen(TTable& table)
{
    lblRecordCount->setText(QStringLiteral("%1 samples").arg(table.RecordCount()));
}
