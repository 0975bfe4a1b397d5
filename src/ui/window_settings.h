#pragma once
// Window placement and splitter bar positions in the settings store. The
// value format is our own: "left,top,width,height,state" for a window (the
// normal geometry, so a maximised window comes back maximised over the place
// it had), the bar position in pixels for a splitter.

#include <QRect>
#include <QString>

class QSettings;
class QSplitter;
class QWidget;

void RestoreWindowPlacement(QWidget* window, QSettings& settings, const QString& key, const QRect& firstRun);
void SaveWindowPlacement(const QWidget* window, QSettings& settings, const QString& key);

// The bar position is the size of the splitter's first pane.
void RestoreSplitterPosition(QSplitter* splitter, QSettings& settings, const QString& key, int firstRun);
void SaveSplitterPosition(const QSplitter* splitter, QSettings& settings, const QString& key);
int SplitterPosition(const QSplitter* splitter);
void SetSplitterPosition(QSplitter* splitter, int position);
// Applies the position once the splitter is shown and laid out; until then
// SplitterPosition reports it.
void DeferSplitterPosition(QSplitter* splitter, int position);
