#pragma once
// The look every pane of the window shares: black panels with lime text in
// the window's one font, headed by a bar with the pane's name.

#include <QString>

class QIcon;
class QLabel;
class QVBoxLayout;
class QWidget;

// The window's style sheet; panels name their black regions in it.
const char* WindowStyleSheet();
// Sets the window's one font on a top-level widget.
void UseWindowFont(QWidget* window);

// The program's icon, as data/org.ambitone.Ambitone.svg draws it: the
// library's lime waveform on black.
QIcon AppIcon();

// The lime Play and Stop glyphs of the tool bars.
QIcon TransportIcon(bool play);

QLabel* PaneHeader(const QString& text, QWidget* parent);
QWidget* BlackPanel(const char* name, QWidget* parent = nullptr);
QVBoxLayout* Column(QWidget* owner, int margin = 0, int spacing = 0);
