#include "ui/frm_fix_pop_dialog.h"

#include "audio/ds_channel.h"
#include "audio/riff_reader.h"
#include "audio/waveform.h"
#include "ui/error_guard.h"
#include "ui/panel_style.h"
#include "ui/prompts.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <optional>
#include <span>

namespace {

// The stored sample's envelope in lime on black, the part the cut removes
// dimmed behind a line at the cut.
class TWaveformView : public QWidget {
public:
    TWaveformView(const TfrmFixPopDialog& dialog, QWidget* parent) : QWidget(parent), m_dialog(dialog)
    {
        setObjectName("Waveform");
        setAccessibleName(QStringLiteral("Waveform"));
        setMinimumHeight(80);
    }
    // The x of the cut for `kept` bytes of the stored image; the data
    // chunk spans the width.
    int CutX() const
    {
        const size_t stored = m_dialog.StoredImage.size();
        const size_t kept = static_cast<size_t>(m_dialog.Slider->value());
        if (kept == 0 || kept >= stored || m_dataBytes == 0)
            return width();
        const double into = static_cast<double>(kept) - m_dataOffset;
        return std::clamp(static_cast<int>(into / m_dataBytes * width()), 0, width());
    }
    void SetImage(const std::vector<uint8_t>& image, uint32_t dataOffset, uint32_t dataBytes)
    {
        m_peaks = WaveformPeaks(image, std::max(width(), 1));
        m_dataOffset = dataOffset;
        m_dataBytes = dataBytes;
        update();
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        if (!m_dialog.StoredImage.empty())
            m_peaks = WaveformPeaks(m_dialog.StoredImage, std::max(width(), 1));
    }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        const int middle = height() / 2, cut = CutX();
        for (int x = 0; x < static_cast<int>(m_peaks.size()) && x < width(); ++x) {
            const TWaveformPeak& peak = m_peaks[static_cast<size_t>(x)];
            painter.setPen(x < cut ? QColor(0, 255, 0) : QColor(0, 90, 0));
            painter.drawLine(x, middle - static_cast<int>(peak.High * middle), x,
                             middle - static_cast<int>(peak.Low * middle));
        }
        if (cut < width()) {
            painter.fillRect(QRect(cut, 0, width() - cut, height()), QColor(0, 0, 0, 110));
            painter.setPen(Qt::white);
            painter.drawLine(cut, 0, cut, height());
        }
    }

private:
    const TfrmFixPopDialog& m_dialog;
    std::vector<TWaveformPeak> m_peaks;
    uint32_t m_dataOffset = 0, m_dataBytes = 0;
};

QToolButton* ToolButton(QWidget* parent, QAction* action, const char* name)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setDefaultAction(action);
    return button;
}

} // namespace

TfrmFixPopDialog::TfrmFixPopDialog(QWidget* parent, TMMDSMixChannel* channel, IPrompts& prompts,
                                   std::vector<uint8_t> storedImage)
    : QDialog(parent), StoredImage(std::move(storedImage)), m_channel(channel), m_prompts(prompts)
{
    setObjectName("frmFixPopDialog");
    setWindowTitle(QStringLiteral("Fix Ending Pop"));
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAttribute(Qt::WA_StyledBackground, true);
    setStyleSheet(QStringLiteral("QDialog#frmFixPopDialog { background: black; } QLabel { color: lime; }"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(2, 2, 2, 2);
    column->setSpacing(2);

    Waveform = new TWaveformView(*this, this);
    column->addWidget(Waveform, 1);

    auto* sliderRow = new QHBoxLayout;
    Slider = new QSlider(Qt::Horizontal, this);
    Slider->setObjectName("Slider");
    Slider->setAccessibleName(QStringLiteral("Bytes kept"));
    sliderRow->addWidget(Slider, 1);
    lblKept = new QLabel(this);
    lblKept->setObjectName("lblKept");
    lblKept->setMinimumWidth(52);
    lblKept->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sliderRow->addWidget(lblKept);
    column->addLayout(sliderRow);

    PlaySample = new QAction(QStringLiteral("Play"), this);
    PlaySample->setObjectName("PlaySample");
    PlaySample->setCheckable(true);
    LoopSample = new QAction(QStringLiteral("Loop"), this);
    LoopSample->setObjectName("LoopSample");
    StopPlayback = new QAction(TransportIcon(false), QStringLiteral("StopPlayback"), this);
    StopPlayback->setObjectName("StopPlayback");
    auto* bar = new QHBoxLayout;
    PlayButton = ToolButton(this, PlaySample, "PlayButton");
    LoopButton = ToolButton(this, LoopSample, "LoopButton");
    StopButton = ToolButton(this, StopPlayback, "StopButton");
    StopButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    StopButton->setAccessibleName(QStringLiteral("StopPlayback"));
    for (QToolButton* button : {PlayButton, LoopButton, StopButton})
        bar->addWidget(button);
    bar->addStretch(1);
    UpdateButton = new QPushButton(QStringLiteral("Update"), this);
    UpdateButton->setObjectName("UpdateButton");
    UpdateButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName("CancelButton");
    bar->addWidget(UpdateButton);
    bar->addWidget(CancelButton);
    column->addLayout(bar);

    // Play is a toggle: pressing it plays, and its press shows the sound.
    connect(PlaySample, &QAction::triggered, this, [this](bool checked) {
        if (!checked) {
            PlaySample->setChecked(true); // released only by Stop or the end
            return;
        }
        Guarded(&m_prompts, [this] { PlaySampleExecute(); });
    });
    connect(LoopSample, &QAction::triggered, this, [this] { Guarded(&m_prompts, [this] { LoopSampleExecute(); }); });
    connect(StopPlayback, &QAction::triggered, this,
            [this] { Guarded(&m_prompts, [this] { StopPlaybackExecute(); }); });
    connect(PlaySample, &QAction::toggled, this, [this] { StopPlaybackUpdate(); });
    connect(UpdateButton, &QPushButton::clicked, this, [this] { UpdateClick(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    // A drag takes effect when let go; the keys take effect at once.
    connect(Slider, &QSlider::sliderReleased, this, [this] { SliderTrackEnd(); });
    connect(Slider, &QSlider::valueChanged, this, [this] {
        if (!Slider->isSliderDown())
            SliderTrackEnd();
        else
            ShowCut();
    });
    StopPlaybackUpdate();
    setFixedSize(308, 61 + 84);
    if (parent)
        move(parent->window()->geometry().center() - rect().center());
}

TfrmFixPopDialog::~TfrmFixPopDialog()
{
    FormClose();
}

void TfrmFixPopDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfrmFixPopDialog::FormShow()
{
    m_closed = false;
    if (m_channel) {
        m_channel->SetOnPlayEnd([this](TMMDSMixChannel&, TMMDSPlayEnd) { SampleChannelPlayEnd(); });
    }
    const int size = static_cast<int>(std::min<size_t>(StoredImage.size(), INT32_MAX));
    {
        QSignalBlocker quiet(Slider);
        Slider->setRange(0, size);
        Slider->setValue(size);
    }
    TrimmedImage = StoredImage;
    std::optional<TWaveInfo> info;
    try {
        info = ReadWaveInfo(StoredImage);
    } catch (const std::bad_alloc&) {
    }
    static_cast<TWaveformView*>(Waveform)->SetImage(StoredImage, info ? info->DataOffset : 0,
                                                     info ? info->DataBytes : 0);
    ShowCut();
}

void TfrmFixPopDialog::SliderTrackEnd()
{
    const size_t kept = static_cast<size_t>(Slider->value());
    if (kept == 0 || kept >= StoredImage.size())
        TrimmedImage = StoredImage;
    else
        TrimmedImage.assign(StoredImage.begin(), StoredImage.begin() + static_cast<std::ptrdiff_t>(kept));
    ShowCut();
}

void TfrmFixPopDialog::ShowCut()
{
    const size_t kept = Slider->isSliderDown() && Slider->value() > 0 ? static_cast<size_t>(Slider->value())
                                                                      : TrimmedImage.size();
    const double seconds = PlayableSeconds(std::span<const uint8_t>(StoredImage.data(), std::min(kept, StoredImage.size())));
    lblKept->setText(seconds < 0 ? QStringLiteral("no sound") : QStringLiteral("%1 s").arg(seconds, 0, 'f', 2));
    Waveform->update();
}

void TfrmFixPopDialog::Audition(bool looping)
{
    if (!m_channel)
        return;
    m_channel->Stop();
    m_channel->Wave().LoadFromBytes(TrimmedImage);
    m_channel->SetLooping(looping);
    m_channel->Play();
    PlaySample->setChecked(true);
}

void TfrmFixPopDialog::PlaySampleExecute()
{
    try {
        Audition(false);
    } catch (...) {
        PlaySample->setChecked(false);
        throw;
    }
}

void TfrmFixPopDialog::LoopSampleExecute()
{
    try {
        Audition(true);
    } catch (...) {
        PlaySample->setChecked(false);
        throw;
    }
}

void TfrmFixPopDialog::StopPlaybackExecute()
{
    if (m_channel)
        m_channel->Stop();
    PlaySample->setChecked(false);
}

void TfrmFixPopDialog::StopPlaybackUpdate()
{
    StopPlayback->setEnabled(PlaySample->isChecked());
}

void TfrmFixPopDialog::SampleChannelPlayEnd()
{
    PlaySample->setChecked(false);
}

void TfrmFixPopDialog::UpdateClick()
{
    // Nothing unplayable is ever stored.
    if (PlayableSeconds(TrimmedImage) <= 0) {
        m_prompts.ShowWarning(QStringLiteral("This cut leaves no sound to keep. Move the slider further to the right, "
                                             "or choose Cancel."));
        return;
    }
    accept();
}

void TfrmFixPopDialog::done(int result)
{
    FormClose();
    QDialog::done(result);
}

void TfrmFixPopDialog::FormClose()
{
    if (m_closed || !m_channel)
        return;
    m_closed = true;
    // The channel stays with the mixer for the next repair; it only falls
    // silent and lets go of the image.
    try {
        m_channel->SetOnPlayEnd({});
        m_channel->Stop();
        m_channel->Wave().ClearWave();
    } catch (...) {
    }
}
