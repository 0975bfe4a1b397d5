#include "music_page/frm_music_dialog.h"

#include "music/music_chain.h"
#include "ui/accessible.h"
#include "ui/error_guard.h"
#include "ui/file_places.h"
#include "ui/hints.h"
#include "ui/panel_style.h"
#include "ui/prompts.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The window's black and lime, plus the widgets a dialog has and the
// window's panels have not.
const char* const kDialogStyle = R"(
QDialog#frmMusicDialog { background: black; }
QComboBox, QTreeView {
    background: black; color: lime; border: 1px solid #1f5f1f; padding: 1px 4px;
    selection-background-color: #006000; selection-color: white;
}
QComboBox QAbstractItemView {
    background: black; color: lime; border: 1px solid #3f9f3f;
    selection-background-color: #006000; selection-color: white;
}
QComboBox:focus, QTreeView:focus, QListWidget:focus { border-color: #3f9f3f; }
QPushButton {
    color: lime; background: #101010; border: 1px solid #3f9f3f; padding: 3px 12px; min-width: 60px;
}
QPushButton:default { border-color: lime; }
QPushButton:pressed { background: #006000; }
QSlider::groove:horizontal { height: 4px; background: #1f5f1f; border-radius: 2px; }
QSlider::sub-page:horizontal { background: #3f9f3f; border-radius: 2px; }
QSlider::handle:horizontal { width: 8px; margin: -5px 0; background: lime; border-radius: 2px; }
)";

constexpr int kClientWidth = 415;
constexpr int kClientHeight = 340;
constexpr uint32_t kBufferSize = 4096;

// The folder shown at the dialog's next opening in this run.
QString& LastDirectory()
{
    static QString path;
    return path;
}

std::string LocalPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

TfrmMusicDialog::TfrmMusicDialog(QWidget* parent, IClock& clock, IPrompts& prompts, TWaveOutDevice device)
    : QDialog(parent), m_chain(std::make_unique<TMusicChain>(clock, device, kBufferSize)), m_prompts(prompts)
{
    setObjectName("frmMusicDialog");
    setWindowTitle(QStringLiteral("Music Browser"));
    setWindowFlag(Qt::Tool);
    setAttribute(Qt::WA_StyledBackground, true);
    // A window takes no font from its parent; it gets the main window's.
    if (parent)
        setFont(parent->font());
    setStyleSheet(QString::fromLatin1(WindowStyleSheet()) + QString::fromLatin1(kDialogStyle));

    HiTimer = new QTimer(this);
    HiTimer->setObjectName("HiTimer");
    HiTimer->setInterval(500);

    BuildLayout();
    ConnectSignals();
    FillPlaceList(DriveComboBox1);
    resize(kClientWidth, kClientHeight);

    // FormCreate: the slider starts where the gain stage is (unity).
    {
        QSignalBlocker quiet(VolumeSlider);
        VolumeSlider->setValue(m_chain->Volume.Volume());
    }
    SetCurrentDirectory(LastDirectory().isEmpty() ? QDir::homePath() : LastDirectory());
    UpdateActions();
    NameControls(this);
}

TfrmMusicDialog::~TfrmMusicDialog() = default;

// ---- building ---------------------------------------------------------------

void TfrmMusicDialog::BuildLayout()
{
    auto* columns = new QHBoxLayout;
    columns->setSpacing(6);
    columns->addWidget(BuildPlacePane(), 4);
    columns->addWidget(BuildFilePane(), 5);

    OkButton = new QPushButton(QStringLiteral("OK"), this);
    OkButton->setObjectName("OkButton");
    OkButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    CancelButton->setObjectName("CancelButton");
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(6);
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    buttons->addWidget(CancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
}

QWidget* TfrmMusicDialog::BuildPlacePane()
{
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(PaneHeader(QStringLiteral("Folders"), pane));

    DriveComboBox1 = MakePlaceList(pane);
    layout->addWidget(DriveComboBox1);
    m_model = new QFileSystemModel(this);
    Directory = MakeFolderTree(pane, m_model);
    layout->addWidget(Directory, 1);
    return pane;
}

QWidget* TfrmMusicDialog::BuildFilePane()
{
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(PaneHeader(QStringLiteral("MP3 files"), pane));

    FileList = new QListWidget(pane);
    FileList->setObjectName("FileList");
    FileList->setSelectionMode(QAbstractItemView::SingleSelection);
    FileList->setUniformItemSizes(true);
    layout->addWidget(FileList, 1);

    PlaySong = new QAction(TransportIcon(true), QStringLiteral("Play"), this);
    PlaySong->setObjectName("PlaySong");
    PlaySong->setCheckable(true);
    SetHint(PlaySong, QStringLiteral("Play|Listen to the selected file."));
    StopSong = new QAction(TransportIcon(false), QStringLiteral("Stop"), this);
    StopSong->setObjectName("StopSong");
    SetHint(StopSong, QStringLiteral("Stop|Stop listening."));

    PlayButton = new QToolButton(pane);
    PlayButton->setObjectName("PlayButton");
    PlayButton->setDefaultAction(PlaySong);
    PlayButton->setIconSize(QSize(16, 16));
    StopButton = new QToolButton(pane);
    StopButton->setObjectName("StopButton");
    StopButton->setDefaultAction(StopSong);
    StopButton->setIconSize(QSize(16, 16));
    Slider = new QSlider(Qt::Horizontal, pane);
    Slider->setObjectName("Slider");
    Slider->setAccessibleName(QStringLiteral("Position"));
    Slider->setRange(0, 100);
    SetHint(Slider, QStringLiteral("Position|Drag to move playback to another point of the song."));
    auto* transport = new QHBoxLayout;
    transport->setSpacing(3);
    transport->addWidget(PlayButton);
    transport->addWidget(StopButton);
    transport->addSpacing(6);
    transport->addWidget(Slider, 1);
    layout->addLayout(transport);

    VolumeSlider = new QSlider(Qt::Horizontal, pane);
    VolumeSlider->setObjectName("VolumeSlider");
    VolumeSlider->setRange(0, 16384);
    VolumeSlider->setSingleStep(256);
    VolumeSlider->setPageStep(2048);
    SetHint(VolumeSlider, QStringLiteral("Volume"));
    auto* volume = new QHBoxLayout;
    volume->setSpacing(3);
    volume->addWidget(new QLabel(QStringLiteral("Volume"), pane));
    volume->addWidget(VolumeSlider, 1);
    layout->addLayout(volume);
    return pane;
}

void TfrmMusicDialog::ConnectSignals()
{
    connect(DriveComboBox1, &QComboBox::activated, this, [this](int place) { Guarded([&] { ShowPlace(place); }); });
    connect(Directory->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    Guarded([&] { ShowDirectory(m_model->filePath(current)); });
            });
    // Folders arrive from the model's own thread: the place's siblings are
    // hidden as they come.
    connect(m_model, &QFileSystemModel::rowsInserted, this, [this](const QModelIndex& parent) {
        if (parent == Directory->rootIndex())
            HideSiblingsOfPlace(Directory, m_model, m_placePath);
    });
    connect(FileList, &QListWidget::currentItemChanged, this, [this] { FileListClick(); });
    connect(FileList, &QListWidget::itemDoubleClicked, this, [this] {
        // A double click plays as the button does, so the button goes down.
        if (!m_validFile)
            return;
        PlaySong->setChecked(true);
        PlaySongExecute();
    });
    connect(PlaySong, &QAction::triggered, this, [this] { PlaySongExecute(); });
    connect(StopSong, &QAction::triggered, this, [this] { StopSongExecute(); });
    connect(VolumeSlider, &QSlider::valueChanged, this, [this](int position) { VolumeSliderTrack(position); });
    // A drag seeks when let go; keys and clicks beside the thumb at once.
    connect(Slider, &QSlider::sliderReleased, this, [this] { SliderTrackEnd(); });
    connect(Slider, &QSlider::valueChanged, this, [this] {
        if (!Slider->isSliderDown())
            SliderTrackEnd();
    });
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { UpdateActions(); });
}

// ---- directories ------------------------------------------------------------

void TfrmMusicDialog::SetCurrentDirectory(const QString& path)
{
    const QString folder = ExistingFolder(path);
    const QString placePath = FollowPlace(DriveComboBox1, folder);
    if (placePath != m_placePath) {
        m_placePath = placePath;
        ShowPlaceInTree(Directory, m_model, placePath);
    }
    ShowDirectory(folder);

    // The tree follows: the folder's ancestors open, the folder chosen.
    const QModelIndex index = m_model->index(folder);
    if (!index.isValid())
        return; // a folder the tree does not show (a hidden one) is still listed
    for (QModelIndex up = index.parent(); up.isValid() && up != Directory->rootIndex(); up = up.parent())
        Directory->expand(up);
    Directory->setCurrentIndex(index);
    Directory->scrollTo(index);
}

void TfrmMusicDialog::ShowDirectory(const QString& path)
{
    const QString folder = CleanAbsolute(path);
    if (folder == m_currentDirectory)
        return;
    m_currentDirectory = folder;
    LastDirectory() = folder;
    const QModelIndex index = m_model->index(folder);
    if (index.isValid())
        Directory->expand(index);
    FillFileList();
}

void TfrmMusicDialog::FillFileList()
{
    // What plays belongs to the list that goes; Play waits for a new choice.
    if (m_chain->Playing())
        m_chain->Stop();
    PlaySong->setChecked(false);
    m_validFile = false;

    QSignalBlocker quiet(FileList);
    FileList->clear();
    const QFileInfoList entries = QDir(m_currentDirectory).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& entry : entries)
        if (entry.fileName().endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive))
            FileList->addItem(entry.fileName());
    FileList->setCurrentItem(nullptr);
    UpdateActions();
}

void TfrmMusicDialog::ShowPlace(int place)
{
    if (place < 0 || place >= DriveComboBox1->count())
        return;
    m_placePath.clear(); // the tree starts over at the place chosen
    SetCurrentDirectory(DriveComboBox1->itemData(place).toString());
}

QString TfrmMusicDialog::SelectedFile() const
{
    const QListWidgetItem* item = FileList->currentItem();
    return item ? QDir(m_currentDirectory).filePath(item->text()) : QString();
}

// ---- handlers ---------------------------------------------------------------

template <class F> void TfrmMusicDialog::Guarded(F&& work)
{
    ::Guarded(&m_prompts, std::forward<F>(work));
    UpdateActions();
}

void TfrmMusicDialog::FileListClick()
{
    Guarded([this] {
        m_chain->Stop();
        PlaySong->setChecked(false);
        const QString path = SelectedFile();
        if (path.isEmpty())
            return;
        m_validFile = TMMMPEGFile::IsMpegFile(LocalPath(path));
        if (!m_validFile) {
            // The chain keeps the song it had; Play stays off until a good one.
            m_prompts.ShowMessage(QStringLiteral("Invalid MP3 file!"));
            return;
        }
        // The new format closes the device: the next play opens it afresh.
        m_chain->Source.SetFileName(LocalPath(path));
        QSignalBlocker quiet(Slider);
        Slider->setMaximum(m_chain->Source.Frames());
        Slider->setValue(0);
    });
}

void TfrmMusicDialog::PlaySongExecute()
{
    Guarded([this] {
        if (m_validFile)
            m_chain->Output.Start();
    });
}

void TfrmMusicDialog::StopSongExecute()
{
    Guarded([this] {
        m_chain->Stop();
        PlaySong->setChecked(false);
    });
}

void TfrmMusicDialog::VolumeSliderTrack(int position)
{
    Guarded([&] { m_chain->Volume.SetVolume(std::clamp(position, 0, static_cast<int>(TMMVolume::UnityGain))); });
}

void TfrmMusicDialog::SliderTrackEnd()
{
    Guarded([this] {
        TMMWaveOut& output = m_chain->Output;
        if (!output.Opened())
            return;
        const int32_t frame = Slider->value();
        if (!output.Playing()) {
            // A stopped output starts from the resume frame anyway; holding
            // it paused here would keep the next play silent.
            m_chain->Source.SetPosition(frame);
            return;
        }
        output.Pause();
        m_chain->Source.SetPosition(frame);
        output.ResetBuffers();
        output.Restart();
    });
}

void TfrmMusicDialog::PlaySongUpdate()
{
    PlaySong->setEnabled(m_validFile);
}

void TfrmMusicDialog::StopSongUpdate()
{
    // A song that ends by itself leaves the button down: Stop stays on.
    StopSong->setEnabled(PlaySong->isChecked());
}

void TfrmMusicDialog::UpdateActions()
{
    PlaySongUpdate();
    StopSongUpdate();
}
