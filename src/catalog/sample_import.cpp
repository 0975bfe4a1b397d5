// Bringing WAV files into the catalogue: each file whole in a new
// SoundCatalog row filed as "Unfiled", with its node under "Unfiled".
#include "audio/riff_reader.h"
#include "audio/sound_services.h"
#include "catalog/catalog_error.h"
#include "catalog/catalog_node.h"
#include "catalog/catalog_panel.h"
#include "catalog/frm_sound_dialog.h"
#include "catalog/sound_tree.h"
#include "store/edit_scope.h"
#include "store/library_tables.h"
#include "ui/hourglass.h"
#include "ui/prompts.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <span>
#include <vector>

namespace {

bool HasWaveExtension(const QString& fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && fileName.mid(dot).toUpper() == QLatin1String(".WAV");
}

std::vector<uint8_t> ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ECatalogError("Cannot open file " + path.toStdString() + ": " + file.errorString().toStdString());
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<qint64>(file.size(), 0)));
    qint64 done = 0;
    while (done < static_cast<qint64>(bytes.size())) {
        const qint64 got = file.read(reinterpret_cast<char*>(bytes.data()) + done,
                                     static_cast<qint64>(bytes.size()) - done);
        if (got < 0)
            throw ECatalogError("Error reading file " + path.toStdString() + ": " + file.errorString().toStdString());
        if (got == 0)
            break; // the file shrank meanwhile: keep what it holds now
        done += got;
    }
    bytes.resize(static_cast<size_t>(done));
    // Files that report no size (or grew) are read to their real end.
    char more[65536];
    for (qint64 got; (got = file.read(more, sizeof more)) > 0;)
        bytes.insert(bytes.end(), more, more + got);
    if (file.error() != QFileDevice::NoError)
        throw ECatalogError("Error reading file " + path.toStdString() + ": " + file.errorString().toStdString());
    return bytes;
}

} // namespace

void TCatalogPanel::ImportSampleFiles(const QStringList& paths)
{
    if (!m_unfiledNode || !m_tables.tblSounds->Active())
        throw ECatalogError("The sample catalogue is not open.");
    THourglass hourglass;
    QStringList rejected;
    auto reportRejected = [&] {
        if (!rejected.isEmpty())
            m_prompts.ShowMessage(QStringLiteral("These files were not imported, because they are not WAV files "
                                                  "that Ambitone can play:\n\n") +
                                   rejected.join(QLatin1Char('\n')));
    };
    std::unique_ptr<IProgress> progress =
        m_prompts.BeginProgress(QStringLiteral("Importing samples"), static_cast<int>(paths.size()));
    try {
        for (int i = 0; i < paths.size(); ++i) {
            const QString& path = paths[i];
            const QString fileName = QFileInfo(path).fileName();
            // Cancelling takes effect between files; the files done stay.
            if (!progress->Step(i, QStringLiteral("Importing %1 (%2 of %3)").arg(fileName).arg(i + 1).arg(paths.size())))
                break;
            if (!HasWaveExtension(fileName))
                continue;
            // The file is read, and checked by the wave loader's own reader,
            // before its row is started: a file that cannot be read or
            // played leaves no row behind.
            std::vector<uint8_t> image = ReadWholeFile(path);
            if (!ReadWaveInfo(std::span<const uint8_t>(image.data(), image.size()))) {
                rejected << QStringLiteral("%1: %2").arg(fileName, QStringLiteral("Error reading wave file"));
                continue;
            }
            {
                TEditScope append(*m_tables.tblSounds, TEditScope::Append);
                m_tables.tblSoundsName->SetAsString(fileName.toStdString());
                m_tables.tblSoundsCategory->SetAsInteger(-1);
                m_tables.tblSounds->WriteBlob("Sound", image);
                append.Post();
            }
            auto* node = new TCatalogNode(
                QString::fromStdString(m_tables.tblSoundsName->AsString()),
                TCatalogNodeData{m_tables.tblSounds->GetBookmark(), m_tables.tblSoundsRecordNo->AsInteger(), false});
            m_unfiledNode->addChild(node);
            if (!m_unfiledNode->isExpanded())
                m_unfiledNode->setExpanded(true);
        }
        progress->Step(static_cast<int>(paths.size()), QString());
    } catch (...) {
        progress.reset();
        reportRejected();
        throw;
    }
    progress.reset();
    reportRejected();
}

void TCatalogPanel::ImportSamplesExecute()
{
    TfrmSoundDialog dialog(window(), m_sound.WaveMixer(), m_prompts);
    if (m_prompts.ExecDialog(dialog) == QDialog::Accepted)
        ImportSampleFiles(dialog.SelectedFiles);
}

void TCatalogPanel::FMDropFMDragDrop(const QStringList& paths)
{
    ImportSampleFiles(paths);
}
