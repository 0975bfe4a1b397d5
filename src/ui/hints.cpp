#include "ui/hints.h"

#include <QAction>
#include <QWidget>

QString HintShortPart(const QString& hint)
{
    qsizetype bar = hint.indexOf(u'|');
    return bar < 0 ? hint : hint.left(bar);
}

QString HintLongPart(const QString& hint)
{
    qsizetype bar = hint.indexOf(u'|');
    return bar < 0 ? hint : hint.mid(bar + 1);
}

void SetHint(QWidget* widget, const QString& hint)
{
    widget->setToolTip(HintShortPart(hint));
    widget->setStatusTip(hint);
    widget->setProperty("hint", hint);
}

void SetHint(QAction* action, const QString& hint)
{
    action->setToolTip(HintShortPart(hint).isEmpty() ? action->text() : HintShortPart(hint));
    action->setStatusTip(hint);
    action->setProperty("hint", hint);
}
