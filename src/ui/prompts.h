#pragma once
// Every question, message box and file dialog the program shows goes through
// IPrompts, so that tests can answer them by script.
//
// Contract: called on the user-interface thread only, from command handlers
// and from the window's error guard. Calls are modal: they return when the
// user has answered. Implementations do not throw.

#include <QString>
#include <QStringList>

#include <memory>

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

// A file dialog's title, its one filter and the suffix it adds.
TFileDialogOptions FileDialogOptions(const QString& title, const QString& filter, const QString& suffix);

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
    // A warning box with an OK button.
    virtual void ShowWarning(const QString& text) = 0;
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
    void ShowWarning(const QString& text) override;
    QString OpenFileName(const TFileDialogOptions& options) override;
    QStringList OpenFileNames(const TFileDialogOptions& options) override;
    QString SaveFileName(const TFileDialogOptions& options) override;
    int ChooseButton(const QString& title, const QString& text, const QStringList& buttons) override;
    int ExecDialog(QDialog& dialog) override;
    std::unique_ptr<IProgress> BeginProgress(const QString& title, int maximum) override;

private:
    QWidget* m_parent;
};
