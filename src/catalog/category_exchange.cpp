// Category packages: the selected category with everything below it written
// to a file, and a package's category added as a new top-level category.
#include "catalog/catalog_panel.h"

#include "catalog/catalog_node.h"
#include "catalog/sound_tree.h"
#include "exchange/package_exchange.h"
#include "ui/export_dialog.h"
#include "ui/hourglass.h"
#include "ui/prompts.h"

#include <QTreeWidgetItem>

#include <exception>
#include <utility>
#include <vector>

namespace {

TFileDialogOptions CategoryFiles(const QString& title)
{
    return FileDialogOptions(title, QStringLiteral("Ambitone Category (*.amc)"), QStringLiteral("amc"));
}

// Each node of the subtree depth first, each parent before its children,
// siblings in the order the tree shows them.
std::vector<TCategoryExportNode> SubtreeNodes(QTreeWidgetItem* top)
{
    std::vector<TCategoryExportNode> nodes;
    std::vector<QTreeWidgetItem*> pending{top};
    while (!pending.empty()) {
        QTreeWidgetItem* node = pending.back();
        pending.pop_back();
        const TCatalogNodeData* data = CatalogNodeData(node);
        TCategoryExportNode out;
        out.Name = node->text(0).toStdString();
        out.IsCategory = !data || data->IsCategory;
        out.SoundNo = data && !data->IsCategory ? data->RecordNo : 0;
        out.ChildCount = out.IsCategory ? node->childCount() : 0;
        nodes.push_back(std::move(out));
        if (nodes.back().IsCategory)
            for (int i = node->childCount() - 1; i >= 0; --i)
                pending.push_back(node->child(i));
    }
    return nodes;
}

} // namespace

void TCatalogPanel::ExportCategoryExecute()
{
    QTreeWidgetItem* node = SoundTree->SelectedNode();
    if (!IsCategoryNode(node))
        return;
    TFileDialogOptions options = CategoryFiles(QStringLiteral("Export Ambitone Category"));
    options.FileName = node->text(0);
    const QString path = m_prompts.SaveFileName(options);
    if (!path.isEmpty())
        WriteCategoryPackage(path);
}

void TCatalogPanel::WriteCategoryPackage(const QString& path)
{
    QTreeWidgetItem* top = SoundTree->SelectedNode();
    if (!IsCategoryNode(top))
        return;
    const std::vector<TCategoryExportNode> nodes = SubtreeNodes(top);
    THourglass hourglass;
    TfrmExportDialog progress(window(), QStringLiteral("Export Ambitone Category"), int(nodes.size()) - 1);
    progress.show();
    WriteCategoryPackageFile(
        path.toStdString(), nodes, [this](int32_t soundNo) { return ReadSoundBlob(m_tables, soundNo); },
        [&](int index, const std::string& name) { progress.Step(index, QString::fromStdString(name)); });
}

void TCatalogPanel::ImportCategoryExecute()
{
    const QString path = m_prompts.OpenFileName(CategoryFiles(QStringLiteral("Import Ambitone Category")));
    if (!path.isEmpty())
        ReadCategoryPackage(path);
}

void TCatalogPanel::ReadCategoryPackage(const QString& path)
{
    THourglass hourglass;
    // The whole package is read and checked before anything is added, and
    // added in one transaction: a damaged file changes nothing.
    std::vector<uint8_t> content;
    TCategoryPackage package;
    TImportedCategory imported;
    try {
        content = ReadPackageContent(path.toStdString());
        package = ParseCategoryPackage(content);
        TfrmExportDialog progress(window(), QStringLiteral("Import Ambitone Category"), package.NodeTotal);
        progress.show();
        imported = ImportCategoryIntoStore(m_tables, package, [&](int index, const std::string& name) {
            progress.Step(index, QString::fromStdString(name));
        });
    } catch (const std::exception&) {
        m_prompts.ShowWarning(QStringLiteral("The file you are attempting to import has been corrupted, or is \r\n"
                                             "not a Ambitone category file."));
        return;
    }
    // The tree shows the new subtree after the existing top-level nodes,
    // collapsed, in the package's order.
    std::vector<TCatalogNode*> made;
    made.reserve(package.Nodes.size());
    for (size_t i = 0; i < package.Nodes.size(); ++i) {
        const TCategoryPackageNode& node = package.Nodes[i];
        const int32_t recordNo = imported.RecordNos[i];
        auto* item = new TCatalogNode(QString::fromStdString(node.Name),
                                      TCatalogNodeData{TBookmark{recordNo}, recordNo, node.IsCategory});
        if (node.Parent < 0)
            SoundTree->addTopLevelItem(item);
        else
            made[static_cast<size_t>(node.Parent)]->addChild(item);
        made.push_back(item);
    }
}

void TCatalogPanel::AddUnfiledSamples(const std::vector<std::pair<QString, int32_t>>& samples)
{
    // Last under "Unfiled", which stays as the user left it.
    for (const auto& [name, recordNo] : samples)
        m_unfiledNode->addChild(new TCatalogNode(name, TCatalogNodeData{TBookmark{recordNo}, recordNo, false}));
}
