#include "support/scripted_prompts.h"

#include <QDialog>

class TScriptedPrompts::TScriptedProgress : public IProgress {
public:
    TScriptedProgress(TScriptedPrompts& owner, int cancelAfter) : m_owner(owner), m_cancelAfter(cancelAfter) {}
    bool Step(int done, const QString& text) override
    {
        m_owner.m_records.push_back({"step", QString::number(done) + " " + text, {}});
        ++m_steps;
        return m_cancelAfter < 0 || m_steps <= m_cancelAfter;
    }

private:
    TScriptedPrompts& m_owner;
    int m_cancelAfter;
    int m_steps = 0;
};

int TScriptedPrompts::ChooseButton(const QString& title, const QString& text, const QStringList& buttons)
{
    m_records.push_back({"choose", title + "|" + text + "|" + buttons.join(","), {}});
    if (m_buttons.empty())
        return -1;
    int answer = m_buttons.front();
    m_buttons.pop_front();
    return answer;
}

int TScriptedPrompts::ExecDialog(QDialog& dialog)
{
    m_records.push_back({"dialog", dialog.windowTitle(), {}});
    if (m_dialogs.empty())
        return QDialog::Rejected;
    TDialogScript script = std::move(m_dialogs.front());
    m_dialogs.pop_front();
    return script(dialog);
}

std::unique_ptr<IProgress> TScriptedPrompts::BeginProgress(const QString& title, int maximum)
{
    m_records.push_back({"progress", title + " " + QString::number(maximum), {}});
    int cancelAfter = m_cancelAfter;
    m_cancelAfter = -1;
    return std::make_unique<TScriptedProgress>(*this, cancelAfter);
}

bool TScriptedPrompts::Confirm(const QString& text)
{
    m_records.push_back({"confirm", text, {}});
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
    m_records.push_back({"open", options.Title, options});
    QStringList files = NextFiles();
    return files.isEmpty() ? QString() : files.front();
}

QStringList TScriptedPrompts::OpenFileNames(const TFileDialogOptions& options)
{
    m_records.push_back({"openmany", options.Title, options});
    return NextFiles();
}

QString TScriptedPrompts::SaveFileName(const TFileDialogOptions& options)
{
    m_records.push_back({"save", options.Title, options});
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
