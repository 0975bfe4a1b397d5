#pragma once
// Ambitone > Render to File...: the open scheme, as stored, played from its
// start and mixed offline to a WAV, FLAC or Ogg Vorbis file (by the file's
// extension), for one loop or a chosen length up to ten hours, with or
// without headphone rendering. The mix runs on a worker thread, so the
// window stays responsive and may go on playing; the bar shows how far it
// is, and Cancel stops it and leaves no file.
//
// Contract: user-interface thread. The worker touches only its own render
// (its store connection, clock, mixer and device) and the dialog's atomic
// progress; the dialog waits for it before it goes.

#include <QDialog>
#include <QString>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

class IPrompts;
class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QThread;
class QSpinBox;
class QTimer;

struct TRenderRequest {
    std::filesystem::path DataDirectory;
    int32_t SchemeNo = 0;
    QString Title;
    int LoopLength = 0; // seconds: the default length
    bool Headphones = false;
};

class TfrmRenderDialog : public QDialog {
    Q_OBJECT

public:
    TfrmRenderDialog(QWidget* parent, IPrompts& prompts, TRenderRequest request);
    ~TfrmRenderDialog() override;

    QLineEdit* edtFile = nullptr;
    QPushButton* btnBrowse = nullptr;
    QSpinBox *edtMinutes = nullptr, *edtSeconds = nullptr;
    QCheckBox* chkHeadphones = nullptr;
    QProgressBar* Progress = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* btnRender = nullptr;
    QPushButton* btnCancel = nullptr;

    void btnBrowseClick();
    // Checks the choices and starts the worker.
    void btnRenderClick();
    // Stops a running render (no file is left), or closes the dialog.
    void btnCancelClick();
    bool Rendering() const { return m_worker != nullptr; }
    // The length chosen, in seconds.
    int LengthSeconds() const;
    void SetLengthSeconds(int seconds);
    QString FilePath() const;

protected:
    void reject() override;

private:
    void Finished();
    void SetChoicesEnabled(bool enabled);
    void ShowProgress();

    IPrompts& m_prompts;
    TRenderRequest m_request;
    QThread* m_worker = nullptr;
    QTimer* m_progressTimer = nullptr;
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_permille{0};
    // Written by the worker, read once it has ended.
    enum class TOutcome { Done, Cancelled, Failed };
    TOutcome m_outcome = TOutcome::Failed;
    std::string m_error;
};
