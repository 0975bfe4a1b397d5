#include "app/command_map.h"

#include "base/error.h"
#include "ui/error_guard.h"
#include "ui/hints.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

TCommandMap::TCommandMap(QWidget* owner, IPrompts* prompts) : QObject(owner), m_owner(owner), m_prompts(prompts) {}

QAction* TCommandMap::Add(const TCommand& command, bool listed)
{
    auto* action = new QAction(command.Caption, m_owner);
    action->setObjectName(QString::fromLatin1(command.Name));
    action->setProperty("category", QString::fromLatin1(command.Category));
    if (!command.Hint.isEmpty())
        SetHint(action, command.Hint);
    action->setCheckable(command.Checkable);
    if (!command.Shortcut.isEmpty())
        action->setShortcut(command.Shortcut);
    if (command.Handler) {
        connect(action, &QAction::triggered, this,
                [this, handler = command.Handler] { Guarded(m_prompts, handler); });
    }
    if (command.Enabled)
        m_rules[action] = command.Enabled;
    if (listed)
        m_actions.push_back(action);
    m_byName[action->objectName()] = action;
    return action;
}

QAction* TCommandMap::Action(const QString& name) const
{
    auto found = m_byName.find(name);
    return found == m_byName.end() ? nullptr : found->second;
}

void TCommandMap::Fill(QMenu* menu, const std::vector<TMenuLine>& lines) const
{
    for (const TMenuLine& line : lines) {
        if (line.Name == QLatin1String("-")) {
            menu->addSeparator();
        } else if (!line.Items.empty()) {
            Fill(menu->addMenu(line.Name), line.Items);
        } else if (QAction* action = Action(line.Name)) {
            menu->addAction(action);
        } else {
            throw EAmbitoneError("The menu names no command \"" + line.Name.toStdString() + "\"");
        }
    }
}

QMenu* TCommandMap::Popup(const char* name, const std::vector<TMenuLine>& lines, QWidget* on)
{
    auto* menu = new QMenu(m_owner);
    menu->setObjectName(QString::fromLatin1(name));
    Fill(menu, lines);
    if (!on)
        return menu;
    connect(on, &QWidget::customContextMenuRequested, menu, [this, menu, on](const QPoint& at) {
        UpdateActions();
        menu->popup(on->mapToGlobal(at));
    });
    return menu;
}

void TCommandMap::UpdateActions()
{
    // Enabling runs from the idle signal too; a rule that itself processes
    // events must not re-enter it.
    if (m_updating)
        return;
    m_updating = true;
    for (QAction* action : m_actions) {
        try {
            if (BeforeUpdate)
                BeforeUpdate();
            auto rule = m_rules.find(action);
            if (rule != m_rules.end())
                action->setEnabled(rule->second());
        } catch (...) {
            // The rules only read state; one that fails leaves its action
            // as it was rather than raising a message box at every idle
            // moment, and the others still run.
        }
    }
    m_updating = false;
}
