#pragma once
// The ending-pop repair: a sample's stored WAV image cut at a byte position
// the user chooses by ear, auditioned alone or looped on the repair
// channel, and handed back on Update. The cut keeps the header bytes as they
// were; the wave loader plays an image cut short up to its last whole
// frame. Above the slider the sample's waveform shows where the cut falls.

#include <QDialog>

#include <cstdint>
#include <vector>

class IPrompts;
class QAction;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;
class TMMDSMixChannel;
struct TWaveformPeak;

class TfrmFixPopDialog : public QDialog {
    Q_OBJECT

public:
    // channel: the repair channel (nullptr without a sound device: nothing
    // plays). storedImage: the Sound blob as stored.
    TfrmFixPopDialog(QWidget* parent, TMMDSMixChannel* channel, IPrompts& prompts, std::vector<uint8_t> storedImage);
    ~TfrmFixPopDialog() override;

    std::vector<uint8_t> StoredImage;
    std::vector<uint8_t> TrimmedImage; // the candidate: what Update hands back

    QSlider* Slider = nullptr; // P: bytes kept from the start; 0 keeps them all
    QToolButton *PlayButton = nullptr, *LoopButton = nullptr, *StopButton = nullptr;
    QPushButton *UpdateButton = nullptr, *CancelButton = nullptr;
    QAction *PlaySample = nullptr, *LoopSample = nullptr, *StopPlayback = nullptr;
    QLabel* lblKept = nullptr; // the kept length in seconds
    QWidget* Waveform = nullptr;

    void FormShow();
    void SliderTrackEnd();
    void PlaySampleExecute();
    void LoopSampleExecute();
    void StopPlaybackExecute();
    void StopPlaybackUpdate();
    void SampleChannelPlayEnd();
    void FormClose();
    // Update: only a cut that still holds a whole frame of sound is handed
    // back; otherwise the user hears why and the dialog stays.
    void UpdateClick();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void Audition(bool looping);
    void ShowCut();

    TMMDSMixChannel* m_channel;
    IPrompts& m_prompts;
    bool m_closed = false;
};
