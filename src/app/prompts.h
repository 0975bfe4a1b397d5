#pragma once
// Every question, message box and file dialog the program shows goes through
// IPrompts, so that tests can answer them by script.
//
// Contract: called on the user-interface thread only, from command handlers
// and from the window's error guard. Calls are modal: they return when the
// user has answered. Implementations do not throw.

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

class QWidget;

struct TFileDialogOptions {
    QString Title;
    QString Filter;          // Qt form, e.g. "Ambitone (*.amx)"
    QString DefaultSuffix;   // without the dot, e.g. "amx"
    QString Directory;
    bool OverwritePrompt = true; // save dialogs
    bool MustExist = true;       // open dialogs
};

class IPrompts {
public:
    virtual ~IPrompts() = default;
    // A Yes/No question with the question icon. True only when the user
    // answered Yes: a box closed any other way changes nothing.
    virtual bool Confirm(const QString& text) = 0;
    virtual void ShowMessage(const QString& text) = 0;
    virtual void ShowError(const QString& text) = 0;
    // Empty when the user cancelled.
    virtual QString OpenFileName(const TFileDialogOptions& options) = 0;
    virtual QStringList OpenFileNames(const TFileDialogOptions& options) = 0;
    virtual QString SaveFileName(const TFileDialogOptions& options) = 0;
};

// Real message boxes and file dialogs, parented to the main window.
class TQtPrompts : public IPrompts {
public:
    explicit TQtPrompts(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    bool Confirm(const QString& text) override;
    void ShowMessage(const QString& text) override;
    void ShowError(const QString& text) override;
    QString OpenFileName(const TFileDialogOptions& options) override;
    QStringList OpenFileNames(const TFileDialogOptions& options) override;
    QString SaveFileName(const TFileDialogOptions& options) override;

private:
    QWidget* m_parent;
};

// Answers from a script, for tests. Every prompt is recorded; a question
// with no scripted answer counts as closed without an answer (No).
class TScriptedPrompts : public IPrompts {
public:
    struct TRecord {
        QString Kind; // "confirm", "message", "error", "open", "openmany", "save"
        QString Text;
    };

    void AnswerYes() { m_answers.push_back(true); }
    void AnswerNo() { m_answers.push_back(false); }
    void AnswerFile(const QString& path) { m_files.push_back(QStringList{path}); }
    void AnswerFiles(const QStringList& paths) { m_files.push_back(paths); }

    bool Confirm(const QString& text) override;
    void ShowMessage(const QString& text) override { m_records.push_back({"message", text}); }
    void ShowError(const QString& text) override { m_records.push_back({"error", text}); }
    QString OpenFileName(const TFileDialogOptions& options) override;
    QStringList OpenFileNames(const TFileDialogOptions& options) override;
    QString SaveFileName(const TFileDialogOptions& options) override;

    const std::vector<TRecord>& Records() const { return m_records; }
    QStringList Texts(const QString& kind) const;
    void Clear() { m_records.clear(); }

private:
    QStringList NextFiles();
    std::deque<bool> m_answers;
    std::deque<QStringList> m_files;
    std::vector<TRecord> m_records;
};
