#pragma once
// The user's answers to every prompt, given by a test's script.

#include "ui/prompts.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

// Answers from a script, for tests. Every prompt is recorded; a question
// with no scripted answer counts as closed without an answer (No).
class TScriptedPrompts : public IPrompts {
public:
    struct TRecord {
        // "confirm", "message", "error", "warning", "open", "openmany", "save",
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
    void ShowWarning(const QString& text) override { m_records.push_back({"warning", text, {}}); }
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
