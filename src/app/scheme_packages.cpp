// Scheme packages from the window: exporting the open scheme, and importing
// a package as a new scheme that opens at once.
#include "app/frm_main.h"

#include "catalog/catalog_panel.h"
#include "exchange/package_exchange.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "store/library_tables.h"
#include "ui/export_dialog.h"
#include "ui/hourglass.h"
#include "ui/prompts.h"

#include <exception>
#include <utility>
#include <vector>

namespace {

TFileDialogOptions SchemeFiles(const QString& title)
{
    return FileDialogOptions(title, QStringLiteral("Ambitone (*.amx)"), QStringLiteral("amx"));
}

} // namespace

void TfrmMain::ExportAmbitoneExecute()
{
    const QString title = m_schemeList->SelectedSchemeTitle();
    if (title.isEmpty() && m_schemeList->SelectedSchemeIndex() < 0)
        return;
    TFileDialogOptions options = SchemeFiles(QStringLiteral("Export Ambitone"));
    options.FileName = title;
    const QString path = m_prompts->SaveFileName(options);
    if (!path.isEmpty())
        m_schemePanel->WriteSchemePackage(path, title);
}

void TfrmMain::ImportAmbitoneExecute()
{
    const QString path = m_prompts->OpenFileName(SchemeFiles(QStringLiteral("Import Ambitone")));
    if (!path.isEmpty())
        ReadSchemePackage(path);
}

void TfrmMain::ReadSchemePackage(const QString& path)
{
    const QString corrupt = QStringLiteral("The import file is corrupt, or is not a Ambitone file.");
    THourglass hourglass;
    // The whole package is read and checked before anything changes: a
    // damaged file leaves the open scheme open and playing.
    std::vector<uint8_t> content;
    TSchemePackage package;
    try {
        content = ReadPackageContent(path.toStdString());
        package = ParseSchemePackage(content);
    } catch (const std::exception&) {
        m_prompts->ShowWarning(corrupt);
        return;
    }
    TfrmExportDialog progress(this, QStringLiteral("Import Ambitone"), package.Header.EntryCount);
    progress.show();
    // The open scheme is stored while the Schemes cursor is on its row.
    m_schemePanel->StopForSchemeChange();
    const bool wasOpen = m_schemeList->OpenSchemeIndex() >= 0;
    if (wasOpen)
        m_schemePanel->UnloadScheme();
    TImportedScheme imported;
    try {
        imported = ImportSchemeIntoStore(*m_tables, package, [&](int index, const std::string& name) {
            progress.Step(index, QString::fromStdString(name));
        });
    } catch (const std::exception&) {
        // Nothing was added; the scheme that was open opens again, from
        // its own row (the refreshed tables left the cursor elsewhere).
        progress.hide();
        if (wasOpen) {
            m_tables->tblSchemes->GotoBookmark(m_schemeList->SelectedSchemeBookmark());
            m_schemePanel->LoadScheme();
        }
        m_prompts->ShowWarning(corrupt);
        return;
    }
    std::vector<std::pair<QString, int32_t>> samples;
    for (size_t i = 0; i < package.Entries.size(); ++i)
        samples.emplace_back(QString::fromStdString(package.Entries[i].SampleName), imported.SoundNos[i]);
    m_catalog->AddUnfiledSamples(samples);
    // On the new scheme's row, the loop display shows the package's loop.
    m_tables->tblSchemes->GotoBookmark(TBookmark{imported.SchemeNo});
    m_schemeList->AddImportedScheme(TBookmark{imported.SchemeNo}, QString::fromStdString(package.Header.Title));
}
