#pragma once
// Hints are a short text and a long text separated by "|": the short part is
// the tooltip, the long part goes to the status bar.

#include <QString>

class QAction;
class QWidget;

QString HintShortPart(const QString& hint);
// The text after the first "|", or the whole hint when it has none.
QString HintLongPart(const QString& hint);

// The tooltip gets the short part; the status tip carries the whole hint so
// that the window's hint handler can take its long part.
void SetHint(QWidget* widget, const QString& hint);
void SetHint(QAction* action, const QString& hint);
