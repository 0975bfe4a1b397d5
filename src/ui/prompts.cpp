#include "ui/prompts.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>

bool TQtPrompts::Confirm(const QString& text)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    // The close box and the window manager give the escape button: No.
    return box.exec() == QMessageBox::Yes;
}

TFileDialogOptions FileDialogOptions(const QString& title, const QString& filter, const QString& suffix)
{
    TFileDialogOptions options;
    options.Title = title;
    options.Filter = filter;
    options.DefaultSuffix = suffix;
    return options;
}

void TQtPrompts::ShowMessage(const QString& text)
{
    QMessageBox::information(m_parent, QStringLiteral("Ambitone"), text);
}

void TQtPrompts::ShowError(const QString& text)
{
    QMessageBox::critical(m_parent, QStringLiteral("Ambitone"), text);
}

void TQtPrompts::ShowWarning(const QString& text)
{
    QMessageBox::warning(m_parent, QStringLiteral("Ambitone"), text);
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
    if (!options.FileName.isEmpty())
        dialog.selectFile(options.FileName);
}

// Message boxes break lines at LF; a CR left in would show as a glyph.
QString DisplayText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

class TQtProgress : public IProgress {
public:
    TQtProgress(QWidget* parent, const QString& title, int maximum)
        : m_dialog(title, QStringLiteral("Cancel"), 0, maximum, parent)
    {
        m_dialog.setWindowTitle(title);
        m_dialog.setWindowModality(Qt::ApplicationModal);
        m_dialog.setAutoClose(false);
        m_dialog.setAutoReset(false);
        m_dialog.setMinimumDuration(500); // quick work never shows a box
        m_dialog.setMinimumWidth(360);
        m_dialog.setValue(0);
    }

    bool Step(int done, const QString& text) override
    {
        m_dialog.setLabelText(text);
        m_dialog.setValue(done); // a modal progress box handles its events, Cancel included, here
        return !m_dialog.wasCanceled();
    }

private:
    QProgressDialog m_dialog;
};

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

int TQtPrompts::ChooseButton(const QString& title, const QString& text, const QStringList& buttons)
{
    QMessageBox box(QMessageBox::Question, title, DisplayText(text), QMessageBox::NoButton, m_parent);
    std::vector<QAbstractButton*> added;
    for (const QString& caption : buttons)
        added.push_back(box.addButton(caption, QMessageBox::AcceptRole));
    if (!added.empty()) {
        box.setDefaultButton(static_cast<QPushButton*>(added.front()));
        box.setEscapeButton(added.back()); // the last button is the way out
    }
    box.exec();
    for (size_t i = 0; i < added.size(); ++i)
        if (box.clickedButton() == added[i])
            return static_cast<int>(i);
    return -1;
}

int TQtPrompts::ExecDialog(QDialog& dialog)
{
    return dialog.exec();
}

std::unique_ptr<IProgress> TQtPrompts::BeginProgress(const QString& title, int maximum)
{
    return std::make_unique<TQtProgress>(m_parent, title, maximum);
}
