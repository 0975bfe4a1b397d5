#include "app/prompts.h"

#include <QFileDialog>
#include <QMessageBox>

bool TQtPrompts::Confirm(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    // The close box and the window manager give the escape button: No.
    return box.exec() == QMessageBox::Yes;
}

void TQtPrompts::ShowMessage(const QString& text)
{
    QMessageBox::information(m_parent, QStringLiteral("Ambitone"), text);
}

void TQtPrompts::ShowError(const QString& text)
{
    QMessageBox::critical(m_parent, QStringLiteral("Ambitone"), text);
}

namespace {

void Configure(QFileDialog& dialog, const TFileDialogOptions& options)
{
    dialog.setWindowTitle(options.Title);
    if (!options.Filter.isEmpty())
        dialog.setNameFilter(options.Filter);
    if (!options.DefaultSuffix.isEmpty())
        dialog.setDefaultSuffix(options.DefaultSuffix);
    if (!options.Directory.isEmpty())
        dialog.setDirectory(options.Directory);
}

} // namespace

QString TQtPrompts::OpenFileName(const TFileDialogOptions& options)
{
    QFileDialog dialog(m_parent);
    Configure(dialog, options);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(options.MustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

QStringList TQtPrompts::OpenFileNames(const TFileDialogOptions& options)
{
    QFileDialog dialog(m_parent);
    Configure(dialog, options);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString TQtPrompts::SaveFileName(const TFileDialogOptions& options)
{
    QFileDialog dialog(m_parent);
    Configure(dialog, options);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.OverwritePrompt);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

bool TScriptedPrompts::Confirm(const QString& text)
{
    m_records.push_back({"confirm", text});
    if (m_answers.empty())
        return false;
    bool answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

QStringList TScriptedPrompts::NextFiles()
{
    if (m_files.empty())
        return {};
    QStringList files = m_files.front();
    m_files.pop_front();
    return files;
}

QString TScriptedPrompts::OpenFileName(const TFileDialogOptions& options)
{
    m_records.push_back({"open", options.Title});
    QStringList files = NextFiles();
    return files.isEmpty() ? QString() : files.front();
}

QStringList TScriptedPrompts::OpenFileNames(const TFileDialogOptions& options)
{
    m_records.push_back({"openmany", options.Title});
    return NextFiles();
}

QString TScriptedPrompts::SaveFileName(const TFileDialogOptions& options)
{
    m_records.push_back({"save", options.Title});
    QStringList files = NextFiles();
    return files.isEmpty() ? QString() : files.front();
}

QStringList TScriptedPrompts::Texts(const QString& kind) const
{
    QStringList texts;
    for (const auto& record : m_records)
        if (record.Kind == kind)
            texts << record.Text;
    return texts;
}
