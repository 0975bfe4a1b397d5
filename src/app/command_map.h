#pragma once
// The command map: every command of the window as one row of data (name,
// category, caption, hint, shortcut, handler, enabling rule), the actions
// made from those rows, and menus built from lists of command names.
//
// Contract: user-interface thread. A handler's exception is shown through
// the prompts and goes no further. An enabling rule that raises leaves its
// own action as it was and the other rules still run.

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <vector>

class IPrompts;
class QAction;
class QMenu;
class QWidget;

struct TCommand {
    const char* Name = "";
    const char* Category = "";
    QString Caption = {};
    QString Hint = {};                     // "short|long", see ui/hints.h
    std::function<void()> Handler = {};    // none: the command does nothing yet
    std::function<bool()> Enabled = {};    // none: always enabled
    bool Checkable = false;
    QKeySequence Shortcut = {};
};

// One line of a menu: a command's name, "-" for a separator, or a title
// with the lines of its sub-menu.
struct TMenuLine {
    QString Name;
    std::vector<TMenuLine> Items;
    TMenuLine(const char* name) : Name(QString::fromLatin1(name)) {}
    TMenuLine(const char* title, std::vector<TMenuLine> items)
        : Name(QString::fromLatin1(title)), Items(std::move(items))
    {
    }
};

class TCommandMap : public QObject {
    Q_OBJECT

public:
    TCommandMap(QWidget* owner, IPrompts* prompts);

    // Adds a command of the action list; Listed false keeps it out of the
    // list (a menu item such as Exit).
    QAction* Add(const TCommand& command, bool listed = true);
    // The command's action; nullptr for an unknown name.
    QAction* Action(const QString& name) const;
    const std::vector<QAction*>& Actions() const { return m_actions; }

    // Appends the lines to a menu. An unknown name raises: a menu table
    // that names no command is a fault of the program.
    void Fill(QMenu* menu, const std::vector<TMenuLine>& lines) const;
    // A pop-up menu named `name`, shown on the widget's context-menu
    // request with every rule brought up to date first (on nothing while
    // `on` is nullptr).
    QMenu* Popup(const char* name, const std::vector<TMenuLine>& lines, QWidget* on);

    // Runs before each rule (the action list's own update handler).
    std::function<void()> BeforeUpdate;
    // Brings every action's enabled state up to date.
    void UpdateActions();

private:
    QWidget* m_owner;
    IPrompts* m_prompts;
    std::vector<QAction*> m_actions;
    std::map<QString, QAction*> m_byName;
    std::map<QAction*, std::function<bool()>> m_rules;
    bool m_updating = false;
};
