#pragma once
// TfrmSoundDialog, "Import Sound": the user picks WAV files, auditioning
// each on the dialog's own channel of the main window's mixer, and
// confirms. The dialog exists only while it is shown; its channel goes with
// it, which closes the mixer's device (the open scheme's sounds stop and
// the device opens again at the next Play).

#include <QDialog>
#include <QStringList>

#include <memory>

class QAction;
class QComboBox;
class QListWidget;
class QPushButton;
class QSlider;
class QToolButton;
class QTreeView;
class QFileSystemModel;
class TfrmMain;
class TMMDSMixChannel;

class TfrmSoundDialog : public QDialog {
    Q_OBJECT

public:
    explicit TfrmSoundDialog(TfrmMain& owner);
    ~TfrmSoundDialog() override;

    // The full paths chosen with OK, in the file list's order.
    QStringList SelectedFiles;

    // The place list (file system root, home folder, mounted volumes) over
    // the directory list that drives the file list.
    QComboBox* DriveComboBox1 = nullptr;
    QTreeView* Directory = nullptr;
    QListWidget* FileList = nullptr; // "*.wav" in any case, several selectable
    QToolButton* PlayButton = nullptr;
    QToolButton* StopButton = nullptr;
    QSlider* Volume = nullptr; // 0 to 100, at 100 to start with
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QAction* PlaySound = nullptr;
    QAction* StopSound = nullptr;
    std::unique_ptr<TMMDSMixChannel> SampleChannel;

    QString CurrentDirectory() const;
    void SetCurrentDirectory(const QString& path);

    void FileListClick();
    void PlaySoundExecute();
    void StopSoundExecute();
    void VolumeTrack(int position);
    void OkButtonClick();
    void SampleChannelPlayEnd();
    // PlaySoundUpdate and StopSoundUpdate, run when the application is idle.
    void UpdateActions();
};
