#pragma once
// TfrmMusicDialog, "Music Browser": the user picks the MP3 file of a song,
// auditioning it on the dialog's own music chain before accepting. The
// caller shows it modally and reads SelectedFile() after OK; the chain goes
// with the dialog, which closes its device.
//
// Contract: user-interface thread, chain refills included. Every handler
// shows what it raises through the prompts and lets nothing out.

#include "base/clock.h"
#include "music/wave_out.h"

#include <QDialog>
#include <QString>

#include <memory>

class QAction;
class QComboBox;
class QFileSystemModel;
class QListWidget;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class QTreeView;
class IPrompts;
class TMusicChain;

class TfrmMusicDialog : public QDialog {
    Q_OBJECT

public:
    // Making the chain raises EMMMpegError when the MPEG decoder library
    // cannot be had; the dialog is not made then.
    TfrmMusicDialog(QWidget* parent, IClock& clock, IPrompts& prompts,
                    TWaveOutDevice device = TWaveOutDevice::System);
    ~TfrmMusicDialog() override;

    // The place list (file system root, home folder, mounted volumes) over
    // the directory list that drives the file list.
    QComboBox* DriveComboBox1 = nullptr;
    QTreeView* Directory = nullptr;
    QListWidget* FileList = nullptr; // "*.mp3" in any case, one selectable
    QToolButton* PlayButton = nullptr; // latches: down from its click until stopped
    QToolButton* StopButton = nullptr;
    QSlider* Slider = nullptr;       // position in frames; 0 to 100 until a file is loaded
    QSlider* VolumeSlider = nullptr; // gain, 0 to 16384 (unity)
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QAction* PlaySong = nullptr;
    QAction* StopSong = nullptr;
    // Never started: the position slider does not follow playback, so that
    // it stays where the user puts it.
    QTimer* HiTimer = nullptr;

    // The file list's current file, full path; empty when none is current.
    QString SelectedFile() const;
    QString CurrentDirectory() const { return m_currentDirectory; }
    // Shows the directory, or its nearest existing ancestor, and lists its
    // MP3 files. The place list follows to the place that holds it.
    void SetCurrentDirectory(const QString& path);

    TMusicChain& Chain() { return *m_chain; }

    void FileListClick();
    void PlaySongExecute();
    void StopSongExecute();
    void VolumeSliderTrack(int position);
    void SliderTrackEnd();
    // Run when the application is idle.
    void PlaySongUpdate();
    void StopSongUpdate();
    void UpdateActions();

private:
    void BuildLayout();
    QWidget* BuildPlacePane();
    QWidget* BuildFilePane();
    void ConnectSignals();
    void ShowDirectory(const QString& path);
    void FillFileList();
    void ShowPlace(int place);
    template <class F> void Guarded(F&& work);

    std::unique_ptr<TMusicChain> m_chain;
    IPrompts& m_prompts;
    QFileSystemModel* m_model = nullptr;
    QString m_currentDirectory;
    QString m_placePath; // the folder of the place the tree shows
    bool m_validFile = false;
};
