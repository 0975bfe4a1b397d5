#pragma once
// A progress gauge from 0 to 100: a lime bar on black with the percentage in
// the middle, drawn black where the bar runs under it so it stays readable.

#include <QWidget>

class TGauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Progress READ Progress WRITE SetProgress)
public:
    explicit TGauge(QWidget* parent = nullptr);

    int Progress() const { return m_progress; }
    // Clamped to 0..100.
    void SetProgress(int progress);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_progress = 0;
};
