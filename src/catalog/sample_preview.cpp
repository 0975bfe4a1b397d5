// The services on the sample selected in the tree: hearing it, deleting it
// from the catalogue and saving it as a WAV file.
#include "audio/ds_channel.h"
#include "audio/sound_services.h"
#include "catalog/catalog_error.h"
#include "catalog/catalog_node.h"
#include "catalog/catalog_panel.h"
#include "catalog/sound_tree.h"
#include "store/library_tables.h"
#include "ui/prompts.h"

#include <QCheckBox>
#include <QSaveFile>

#include <array>

namespace {

// The selected node when it is a sample, else nullptr.
QTreeWidgetItem* SelectedSample(const TSoundTree* tree, const TCatalogNodeData** nodeData)
{
    QTreeWidgetItem* node = tree->currentItem();
    *nodeData = node && node->isSelected() ? CatalogNodeData(node) : nullptr;
    return *nodeData && !(*nodeData)->IsCategory ? node : nullptr;
}

} // namespace

void TCatalogPanel::LoadPreview(QTreeWidgetItem* node)
{
    const TCatalogNodeData* nodeData = CatalogNodeData(node);
    if (!nodeData || nodeData->IsCategory)
        return;
    m_tables.tblSounds->GotoBookmark(nodeData->Bookmark);
    if (!m_sound.SampleChannel())
        return; // no sound device: the row is still the current one
    // A rejected image leaves the preview with the sample it had.
    auto stream = m_tables.tblSounds->CreateBlobReadStream("Sound");
    m_sound.SampleChannel()->Wave().LoadFromStream(*stream);
    if (chkPlaySample->isChecked())
        m_sound.SampleChannel()->Play();
}

void TCatalogPanel::PlaySampleExecute()
{
    if (m_sound.SampleChannel())
        m_sound.SampleChannel()->Play();
}

void TCatalogPanel::DeleteSampleExecute()
{
    const TCatalogNodeData* nodeData = nullptr;
    QTreeWidgetItem* node = SelectedSample(SoundTree, &nodeData);
    if (!node)
        return;
    if (!m_prompts.Confirm(QStringLiteral("Remove '%1' from the sound catalog?").arg(node->text(0))))
        return;
    m_tables.tblSounds->GotoBookmark(nodeData->Bookmark);
    m_tables.tblSounds->Delete();
    delete node;
    // Reloading drops the rows of the open scheme that used the sample.
    emit SampleDeleted();
}

void TCatalogPanel::ExportSampleExecute()
{
    const TCatalogNodeData* nodeData = nullptr;
    QTreeWidgetItem* node = SelectedSample(SoundTree, &nodeData);
    if (!node)
        return;
    TFileDialogOptions options;
    options.Filter = QStringLiteral("Windows Sound File (*.wav)");
    options.DefaultSuffix = QStringLiteral("wav");
    options.OverwritePrompt = true;
    options.MustExist = false;
    options.FileName = node->text(0);
    const QString path = m_prompts.SaveFileName(options);
    if (path.isEmpty())
        return;
    m_tables.tblSounds->GotoBookmark(nodeData->Bookmark);
    auto blob = m_tables.tblSounds->CreateBlobReadStream("Sound");

    // Written beside the target and renamed over it once complete, so a
    // failure never leaves a half-written file under the chosen name.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw ECatalogError("Cannot create file " + path.toStdString() + ": " + file.errorString().toStdString());
    std::array<char, 65536> buffer{};
    while (*blob) {
        blob->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = blob->gcount();
        if (got <= 0)
            break;
        if (file.write(buffer.data(), got) != got)
            throw ECatalogError("Error writing file " + path.toStdString() + ": " +
                                file.errorString().toStdString());
    }
    if (blob->bad())
        throw ECatalogError("Error reading the sample " + node->text(0).toStdString());
    if (!file.commit())
        throw ECatalogError("Error writing file " + path.toStdString() + ": " + file.errorString().toStdString());
}
