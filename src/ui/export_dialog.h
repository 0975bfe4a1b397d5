#pragma once
// The progress window of a package export or import: a small tool window
// centred on the screen, naming the sample or category being written or
// read above a bar that shows its progress as a percentage. It repaints at
// once on every step: no other message is handled while the work runs.

#include <QDialog>

class QLabel;
class QProgressBar;

class TfrmExportDialog : public QDialog {
    Q_OBJECT

public:
    // caption: "Export Ambitone", "Import Ambitone", "Export Ambitone
    // Category" or "Import Ambitone Category".
    TfrmExportDialog(QWidget* parent, const QString& caption, int maximum);

    QLabel* lblSound = nullptr;
    QProgressBar* Progress = nullptr;

    // Names the entry or node being processed and moves the bar to it.
    void Step(int position, const QString& name);
};
