#pragma once
// The About box: name, version and one line on what the program does.
// Modal; the main window runs it with exec() from Help > About.

#include <QDialog>

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
};
