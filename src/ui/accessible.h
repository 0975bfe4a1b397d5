#pragma once
// Accessible names and descriptions, so that screen readers and desktop
// automation find every control a user can reach. A control is named by its
// caption; without one, by the short part of its hint; without either, by
// its object name in words ("SoundTree" is "Sound tree"). A control with a
// hint describes itself with the hint's long part.

#include <QString>

class QWidget;

// "SoundTree" -> "Sound tree", "chkPlaySample" -> "Play sample",
// "lblLoopLength" -> "Loop length".
QString NameInWords(const QString& objectName);

// Names every reachable control under root (root included) that has no
// accessible name yet, and describes those with a hint. Run it again after
// controls are added; names given by hand are kept.
void NameControls(QWidget* root);

// Whether a user can reach the control: it takes the focus or is clicked.
bool IsReachableControl(const QWidget* widget);
