#pragma once
// One row of the open scheme as the window shows it: the name label, the
// frequency slider, the level meter, the period display with the end icon
// behind it, and the level connector that feeds the meter from the row's
// channel. The row's settings live in the session's record; these controls
// show them, and the slider and the randomize border write them.

#include "store/table.h"

#include <QSlider>

#include <memory>

class IClock;
class QLabel;
class QWidget;
class TLedNumber;
class TMMDSChannelConnector;
class TMMLevel;
class TSchemeRow;

// The frequency slider, 0 ("Seldom") to 100 ("Often"), whose border space
// turns yellow while the row is randomized.
class TFreqSlider : public QSlider {
    Q_OBJECT

public:
    explicit TFreqSlider(QWidget* parent = nullptr);
    bool Randomize() const { return m_randomize; }
    void SetRandomize(bool randomize);
    // The blue bar of the row's timer progress along the slider's bottom,
    // in pixels; 0 draws none. It stays until the slider shows its row again.
    int ProgressWidth() const { return m_progress; }
    void SetProgressWidth(int pixels);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_randomize = false;
    int m_progress = 0;
};

struct TSampleSlot {
    TSampleSlot();
    // The controls go with the slot; the connector first, so that nothing
    // feeds a meter on its way out.
    ~TSampleSlot();
    TSampleSlot(const TSampleSlot&) = delete;
    TSampleSlot& operator=(const TSampleSlot&) = delete;

    QLabel* NameLabel = nullptr;
    TFreqSlider* FreqSlider = nullptr;
    TSchemeRow* Row = nullptr; // the session's row: its channel and record
    std::unique_ptr<TMMDSChannelConnector> LevelConnector;
    TMMLevel* LevelMeter = nullptr;
    TLedNumber* PeriodDisplay = nullptr;
    QLabel* EndIcon = nullptr;
    TBookmark DataBookmark;  // the row's SchemeData row
    TBookmark SoundBookmark; // the sample's SoundCatalog row
};

// Makes the controls of a row on `rows` (the Frequency page's container),
// showing no row until BindSampleSlot; tags are set by PlaceSampleSlot.
std::unique_ptr<TSampleSlot> BuildSampleSlot(QWidget* rows, IClock& clock);
// Makes the controls show the session's row, captioned with the sample's
// name, and feeds the level meter from the row's channel. A slot may show
// one row after another.
void BindSampleSlot(TSampleSlot& slot, TSchemeRow& row, const QString& name);
// Lets go of the row: the meter falls idle and the controls lose their
// names, so that nothing finds an idle slot by the sample's name.
void UnbindSampleSlot(TSampleSlot& slot);
// Puts row `index`'s controls in place on a container `width` pixels wide
// and tags them with the index.
void PlaceSampleSlot(TSampleSlot& slot, int index, int width);
// Shows the record's slider position, randomize flag, period and end icon.
void ShowSampleSlot(TSampleSlot& slot);
// The look of the rows, set once on the containers that hold them.
const char* SampleRowsStyleSheet();
// Shows a row's name as selected and as muted (red).
void ShowNameState(QLabel* label, bool selected, bool muted);
// Pixels from one row to the next.
constexpr int SampleRowHeight = 20;
