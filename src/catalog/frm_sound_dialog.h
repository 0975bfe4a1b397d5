#pragma once
// TfrmSoundDialog, "Import Sound": the user picks WAV files, auditioning
// each on the dialog's own channel of the program's mixer, and
// confirms. The dialog exists only while it is shown; its channel goes with
// it, which closes the mixer's device (the open scheme's sounds stop and
// the device opens again at the next Play).

#include <QDialog>
#include <QModelIndex>
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
class IPrompts;
class TMMDSMixChannel;
class TMMDSWaveMixer;

class TfrmSoundDialog : public QDialog {
    Q_OBJECT

public:
    // Without a mixer (no sound device) the dialog still chooses files; it
    // only cannot audition them.
    TfrmSoundDialog(QWidget* parent, TMMDSWaveMixer* mixer, IPrompts& prompts);
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
    // Shows the directory, or its nearest existing ancestor, and lists its
    // WAV files. The place list follows to the place that holds it.
    void SetCurrentDirectory(const QString& path);

    // The handlers show what they raise through the prompts: none
    // of them lets an exception out.
    void FileListClick();
    void PlaySoundExecute();
    void StopSoundExecute();
    void VolumeTrack(int position);
    // Nothing selected: nothing happens and the dialog stays open (OK is
    // disabled then, too).
    void OkButtonClick();
    void SampleChannelPlayEnd();
    // PlaySoundUpdate and StopSoundUpdate, run when the application is idle.
    void UpdateActions();

private:
    void BuildLayout();
    QWidget* BuildPlacePane();
    QWidget* BuildFilePane();
    void ConnectSignals();
    // Shows a directory without touching the tree's root: for moves made
    // inside the tree.
    void ShowDirectory(const QString& path);
    void FillFileList();
    void ShowPlace(int place);
    void RevealCurrent();
    template <class F> void Guarded(F&& work);


    IPrompts& m_prompts;
    QFileSystemModel* m_model = nullptr;
    QString m_currentDirectory;
    QString m_placePath;          // the folder of the place the tree shows
    bool m_revealCurrent = false; // until the user scrolls the tree
};
