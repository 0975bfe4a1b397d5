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
#include <functional>
#include <memory>
#include <vector>

class QDialog;
class QWidget;

struct TFileDialogOptions {
    QString Title;
    QString Filter;          // Qt form, e.g. "Ambitone (*.amx)"
    QString DefaultSuffix;   // without the dot, e.g. "amx"
    QString Directory;
    QString FileName;        // preset name in the dialog's name box
    bool OverwritePrompt = true; // save dialogs
    bool MustExist = true;       // open dialogs
};

// The progress of one long piece of work, shown while it runs and gone when
// the object is destroyed.
class IProgress {
public:
    virtual ~IProgress() = default;
    // Moves the bar to `done` of the maximum, with a line naming the current
    // step. False once the user has asked to cancel.
    virtual bool Step(int done, const QString& text) = 0;
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
    // A confirmation with buttons of its own captions. The index of the
    // button pressed; -1 when the box was closed without an answer. Text
    // lines may be separated by CR LF.
    virtual int ChooseButton(const QString& title, const QString& text, const QStringList& buttons) = 0;
    // Shows one of the program's own dialogs modally; its result code.
    virtual int ExecDialog(QDialog& dialog) = 0;
    // Progress of work with `maximum` steps; it may stay hidden for work
    // that ends quickly.
    virtual std::unique_ptr<IProgress> BeginProgress(const QString& title, int maximum) = 0;
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
    int ChooseButton(const QString& title, const QString& text, const QStringList& buttons) override;
    int ExecDialog(QDialog& dialog) override;
    std::unique_ptr<IProgress> BeginProgress(const QString& title, int maximum) override;

private:
    QWidget* m_parent;
};

// Answers from a script, for tests. Every prompt is recorded; a question
// with no scripted answer counts as closed without an answer (No).
class TScriptedPrompts : public IPrompts {
public:
    struct TRecord {
        // "confirm", "message", "error", "open", "openmany", "save",
        // "choose", "dialog" (the dialog's window title), "progress" (its
        // title, then one "step" record per step)
        QString Kind;
        QString Text;
        TFileDialogOptions Options; // file dialogs only
    };
    // Plays the user's part in a dialog shown by ExecDialog: it may fill in
    // the dialog's widgets and press its buttons; it returns the result code.
    using TDialogScript = std::function<int(QDialog&)>;

    void AnswerYes() { m_answers.push_back(true); }
    void AnswerNo() { m_answers.push_back(false); }
    void AnswerFile(const QString& path) { m_files.push_back(QStringList{path}); }
    void AnswerFiles(const QStringList& paths) { m_files.push_back(paths); }
    // -1 stands for closing the box.
    void AnswerButton(int index) { m_buttons.push_back(index); }
    void AnswerDialog(TDialogScript script) { m_dialogs.push_back(std::move(script)); }
    // The next progress reports a cancel request after `steps` steps.
    void CancelProgressAfter(int steps) { m_cancelAfter = steps; }

    bool Confirm(const QString& text) override;
    void ShowMessage(const QString& text) override { m_records.push_back({"message", text, {}}); }
    void ShowError(const QString& text) override { m_records.push_back({"error", text, {}}); }
    QString OpenFileName(const TFileDialogOptions& options) override;
    QStringList OpenFileNames(const TFileDialogOptions& options) override;
    QString SaveFileName(const TFileDialogOptions& options) override;
    // Unanswered: -1, as closing the box.
    int ChooseButton(const QString& title, const QString& text, const QStringList& buttons) override;
    // Unscripted: rejected, as Cancel.
    int ExecDialog(QDialog& dialog) override;
    std::unique_ptr<IProgress> BeginProgress(const QString& title, int maximum) override;

    const std::vector<TRecord>& Records() const { return m_records; }
    QStringList Texts(const QString& kind) const;
    void Clear() { m_records.clear(); }

private:
    class TScriptedProgress;
    QStringList NextFiles();
    std::deque<bool> m_answers;
    std::deque<QStringList> m_files;
    std::deque<int> m_buttons;
    std::deque<TDialogScript> m_dialogs;
    int m_cancelAfter = -1;
    std::vector<TRecord> m_records;
};
