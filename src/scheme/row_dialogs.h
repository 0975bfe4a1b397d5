#pragma once
// The two small borderless pop-ups of a scheme row: "Repeat Play" sets how
// the row repeats after each natural end, "Sound Pattern" how it moves.
// Each refers to the row's record, lives until it loses the activation or
// its close button is pressed, and frees itself when it closes.

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QSpinBox;
class QToolButton;
class QVBoxLayout;
struct TPlaybackRow;

// A pop-up that closes when it loses the activation.
class TRowPopup : public QWidget {
    Q_OBJECT

public:
    TRowPopup(QWidget* owner, const QString& caption, int helpContext, QSize client);
    QToolButton* CloseButton = nullptr;

protected:
    bool event(QEvent* event) override;
    // The pop-up's column of controls.
    QVBoxLayout* Content();
};

class TfrmRepeatDialog : public TRowPopup {
    Q_OBJECT

public:
    TfrmRepeatDialog(QWidget* owner, TPlaybackRow& record);
    QButtonGroup* MethodGroup = nullptr; // ids: RepeatMethod 0..4
    QSpinBox* RepeatCount = nullptr;

protected:
    // The choices are written when the dialog goes, however it goes.
    void closeEvent(QCloseEvent* event) override;

private:
    TPlaybackRow& m_record;
};

class TfrmSoundPattern : public TRowPopup {
    Q_OBJECT

public:
    TfrmSoundPattern(QWidget* owner, TPlaybackRow& record);
    QButtonGroup* PatternGroup = nullptr; // ids: Pattern 0..3
    QButtonGroup* SpeedGroup = nullptr;   // ids: PatternSpeed 0..4
    QCheckBox* chkReverse = nullptr;

private:
    TPlaybackRow& m_record;
};
