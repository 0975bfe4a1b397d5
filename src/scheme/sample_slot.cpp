#include "scheme/sample_slot.h"

#include "audio/level_connector.h"
#include "playback/scheme_session.h"
#include "ui/hints.h"
#include "ui/widgets/led_number.h"
#include "ui/widgets/level_meter.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStyle>

#include <algorithm>

namespace {

// The end icons: bitmap 0 for the "Often" end (the sample loops), bitmap 1
// for the "Seldom" end (it never fires on its own).
QPixmap EndBitmap(int index)
{
    QPixmap pixmap(16, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 255, 0), 1.5));
    if (index == 0) {
        painter.drawEllipse(QRectF(1.5, 2.5, 6.5, 7));
        painter.drawEllipse(QRectF(8, 2.5, 6.5, 7));
    } else {
        painter.drawLine(QPointF(2, 6), QPointF(14, 6));
    }
    return pixmap;
}

} // namespace

TFreqSlider::TFreqSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
{
    setRange(0, 100);
    setProperty("randomize", false);
}

void TFreqSlider::SetRandomize(bool randomize)
{
    m_randomize = randomize;
    // The rows' style sheet draws the border space from the property.
    setProperty("randomize", randomize);
    style()->unpolish(this);
    style()->polish(this);
}

const char* SampleRowsStyleSheet()
{
    // Properties, not a sheet per control: a scheme of many rows opens
    // without parsing a sheet for each of them.
    return R"(
TFreqSlider { border: 2px solid black; background: black; }
TFreqSlider[randomize="true"] { border-color: #ffff00; }
TFreqSlider::groove:horizontal { height: 1px; background: #3f9f3f; }
TFreqSlider::handle:horizontal { width: 8px; margin: -7px 0; background: lime; }
QLabel#NameLabel { background: black; color: lime; }
QLabel#NameLabel[selected="true"] { background: palette(highlight); color: palette(highlighted-text); }
QLabel#NameLabel[muted="true"] { color: red; }
)";
}

void ShowNameState(QLabel* label, bool selected, bool muted)
{
    if (label->property("selected").toBool() == selected && label->property("muted").toBool() == muted)
        return;
    label->setProperty("selected", selected);
    label->setProperty("muted", muted);
    label->style()->unpolish(label);
    label->style()->polish(label);
}

void TFreqSlider::SetProgressWidth(int pixels)
{
    pixels = std::clamp(pixels, 0, width());
    if (pixels == m_progress)
        return;
    m_progress = pixels;
    update();
}

void TFreqSlider::paintEvent(QPaintEvent* event)
{
    QSlider::paintEvent(event);
    if (m_progress <= 0)
        return;
    QPainter painter(this);
    painter.fillRect(QRect(0, height() - 3, m_progress, 3), Qt::blue);
}

TSampleSlot::TSampleSlot() = default;

TSampleSlot::~TSampleSlot()
{
    LevelConnector.reset();
    delete NameLabel;
    delete FreqSlider;
    delete LevelMeter;
    delete PeriodDisplay;
    delete EndIcon;
}

std::unique_ptr<TSampleSlot> BuildSampleSlot(QWidget* rows, IClock& clock)
{
    auto slot = std::make_unique<TSampleSlot>();

    slot->FreqSlider = new TFreqSlider(rows);
    slot->FreqSlider->setObjectName("FreqSlider");
    SetHint(slot->FreqSlider,
            QStringLiteral("Frequency slider|Set slider to the desired frequency, right click for additional options."));
    slot->FreqSlider->setProperty("helpContext", 140);
    slot->FreqSlider->setContextMenuPolicy(Qt::CustomContextMenu);

    slot->NameLabel = new QLabel(rows);
    slot->NameLabel->setObjectName("NameLabel");
    slot->NameLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    slot->NameLabel->setProperty("selected", false);
    slot->NameLabel->setProperty("muted", false);
    slot->NameLabel->setContextMenuPolicy(Qt::CustomContextMenu);
    SetHint(slot->NameLabel,
            QStringLiteral("Sample|Click to select the sound sample. Right click for additional options. Double-click "
                           "to edit name."));

    slot->LevelMeter = new TMMLevel(rows);
    slot->LevelMeter->setObjectName("LevelMeter");
    slot->LevelMeter->SetBitLength(16);
    SetHint(slot->LevelMeter, QStringLiteral("Sound Level|Graphical representation of a samples sound level."));

    slot->EndIcon = new QLabel(rows);
    slot->EndIcon->setObjectName("EndIcon");
    slot->EndIcon->lower(); // behind every other control of the row

    slot->PeriodDisplay = new TLedNumber(rows);
    slot->PeriodDisplay->setObjectName("PeriodDisplay");
    slot->PeriodDisplay->SetDigits(4);
    slot->PeriodDisplay->SetMax(9999);
    // Four digits fit the gap between the slider and the level meter.
    slot->PeriodDisplay->SetDigitWidth(5);
    slot->PeriodDisplay->SetDigitHeight(12);
    SetHint(slot->PeriodDisplay,
            QStringLiteral("Frequency|Adjust the slider to change the frequency. Right click for additional options"));

    slot->LevelConnector = std::make_unique<TMMDSChannelConnector>(clock);
    slot->LevelConnector->SetLevel2(slot->LevelMeter);
    slot->LevelConnector->SetAutoTrigger(true);
    return slot;
}

void BindSampleSlot(TSampleSlot& slot, TSchemeRow& row, const QString& name)
{
    slot.Row = &row;
    slot.DataBookmark = row.DataRecord();
    slot.FreqSlider->setAccessibleName(name);
    slot.NameLabel->setProperty("caption", name);
    ShowNameState(slot.NameLabel, false, false);
    slot.LevelConnector->SetChannel(&row.Channel());
    slot.LevelConnector->SetEnabled(true);
    if (slot.EndIcon->property("bitmap").isValid()) {
        // A row shown before in this slot leaves no end icon behind.
        slot.EndIcon->clear();
        slot.EndIcon->setProperty("bitmap", QVariant());
    }
    ShowSampleSlot(slot);
    // The caption is elided to the label's width once it is placed.
    slot.NameLabel->setText(name);
}

void UnbindSampleSlot(TSampleSlot& slot)
{
    slot.LevelConnector->SetEnabled(false);
    slot.LevelConnector->ClearChannel();
    slot.LevelMeter->SetValue(0);
    slot.Row = nullptr;
    slot.DataBookmark = TBookmark{};
    slot.SoundBookmark = TBookmark{};
    slot.FreqSlider->setAccessibleName(QString());
}

void PlaceSampleSlot(TSampleSlot& slot, int index, int width)
{
    const int top = SampleRowHeight * index + 5;
    slot.FreqSlider->setGeometry(100, top, std::max(0, width - 205), SampleRowHeight);
    slot.NameLabel->setGeometry(2, top, 95, SampleRowHeight);
    const QString caption = slot.NameLabel->property("caption").toString();
    slot.NameLabel->setText(slot.NameLabel->fontMetrics().elidedText(caption, Qt::ElideRight, 95));
    slot.LevelMeter->setGeometry(width - 74, top, 60, SampleRowHeight);
    const QSize period = slot.PeriodDisplay->sizeHint();
    slot.PeriodDisplay->setGeometry(width - 105, top + 1, period.width(), period.height());
    slot.EndIcon->move(width - 105 + (period.width() - slot.EndIcon->width()) / 2, top + 4);
    for (QWidget* control : {static_cast<QWidget*>(slot.FreqSlider), static_cast<QWidget*>(slot.NameLabel),
                             static_cast<QWidget*>(slot.PeriodDisplay)})
        control->setProperty("tag", index);
}

void ShowSampleSlot(TSampleSlot& slot)
{
    const TPlaybackRow& record = slot.Row->Record();
    slot.FreqSlider->SetProgressWidth(0); // showing the row again erases the bar
    {
        QSignalBlocker quiet(slot.FreqSlider);
        slot.FreqSlider->setValue(record.SliderPosition);
    }
    if (slot.FreqSlider->Randomize() != record.Randomize)
        slot.FreqSlider->SetRandomize(record.Randomize);
    slot.PeriodDisplay->SetValue(record.PeriodDisplay);
    slot.PeriodDisplay->setVisible(record.PeriodVisible);
    if (record.EndIcon != TEndIcon::Keep) {
        const int bitmap = record.EndIcon == TEndIcon::Often ? 0 : 1;
        slot.EndIcon->setPixmap(EndBitmap(bitmap));
        slot.EndIcon->setProperty("bitmap", bitmap);
        slot.EndIcon->adjustSize();
    }
}
