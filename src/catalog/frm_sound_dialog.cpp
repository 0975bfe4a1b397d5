#include "catalog/frm_sound_dialog.h"

#include "ui/accessible.h"
#include "ui/error_guard.h"
#include "ui/file_places.h"
#include "ui/hints.h"
#include "ui/panel_style.h"
#include "ui/prompts.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "catalog/catalog_node.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// The black and lime of the main window, for the widgets this dialog has
// and the window has not (it is a window of its own, so it gets its font
// and background here).
const char* const kDialogStyle = R"(
QDialog#frmSoundDialog { background: black; }
QLabel { color: lime; background: transparent; }
QLabel[paneHeader="true"] {
    color: lime; font-weight: bold; padding: 2px 4px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #2a2a2a, stop:1 #101010);
    border-bottom: 1px solid #1f5f1f;
}
QComboBox {
    background: black; color: lime; border: 1px solid #1f5f1f; padding: 1px 4px;
    selection-background-color: #006000; selection-color: white;
}
QComboBox:focus { border-color: #3f9f3f; }
QComboBox QAbstractItemView {
    background: black; color: lime; border: 1px solid #3f9f3f;
    selection-background-color: #006000; selection-color: white;
}
QTreeView, QListWidget {
    background: black; color: lime; border: 1px solid #1f5f1f;
    selection-background-color: #006000; selection-color: white;
}
QTreeView:focus, QListWidget:focus { border-color: #3f9f3f; }
QToolButton { color: lime; background: #101010; border: 1px solid #1f5f1f; padding: 2px; }
QToolButton:checked { background: #006000; }
QToolButton:disabled { color: #2f6f2f; }
QPushButton {
    color: lime; background: #101010; border: 1px solid #3f9f3f; padding: 3px 12px; min-width: 60px;
}
QPushButton:default { border-color: lime; }
QPushButton:pressed { background: #006000; }
QPushButton:disabled { color: #2f6f2f; border-color: #1f5f1f; }
QScrollBar:vertical { background: #101010; width: 10px; margin: 0; }
QScrollBar:horizontal { background: #101010; height: 10px; margin: 0; }
QScrollBar::handle:vertical { background: #2f6f2f; min-height: 16px; border-radius: 3px; margin: 1px; }
QScrollBar::handle:horizontal { background: #2f6f2f; min-width: 16px; border-radius: 3px; margin: 1px; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QAbstractScrollArea::corner { background: #101010; }
QSlider::groove:horizontal { height: 4px; background: #1f5f1f; border-radius: 2px; }
QSlider::sub-page:horizontal { background: #3f9f3f; border-radius: 2px; }
QSlider::handle:horizontal { width: 8px; margin: -5px 0; background: lime; border-radius: 2px; }
)";

constexpr int kClientWidth = 415;
constexpr int kClientHeight = 312;

// The folder shown at the dialog's next opening in this run.
QString& LastDirectory()
{
    static QString path;
    return path;
}

} // namespace

TfrmSoundDialog::TfrmSoundDialog(QWidget* parent, TMMDSWaveMixer* mixer, IPrompts& prompts)
    : QDialog(parent), m_prompts(prompts)
{
    setObjectName("frmSoundDialog");
    setWindowTitle(QStringLiteral("Import Sound"));
    setWindowFlag(Qt::Tool);
    setAttribute(Qt::WA_StyledBackground, true);
    // A window takes no font from its parent; it gets the main window's.
    if (parent)
        setFont(parent->font());
    setStyleSheet(QString::fromLatin1(kDialogStyle));

    SampleChannel = std::make_unique<TMMDSMixChannel>(mixer);
    ApplyChannelSettings(*SampleChannel, 1.0);
    SampleChannel->SetOnPlayEnd([this](TMMDSMixChannel&, TMMDSPlayEnd) { SampleChannelPlayEnd(); });

    BuildLayout();
    ConnectSignals();
    FillPlaceList(DriveComboBox1);
    resize(kClientWidth, kClientHeight);

    VolumeTrack(Volume->value());
    const QString start = LastDirectory().isEmpty() ? QDir::homePath() : LastDirectory();
    SetCurrentDirectory(start);
    UpdateActions();
    NameControls(this);
}

TfrmSoundDialog::~TfrmSoundDialog()
{
    // The dying channel reports nothing, but nothing should reach a
    // half-destroyed dialog either way.
    if (SampleChannel)
        SampleChannel->SetOnPlayEnd({});
    SampleChannel.reset();
}

// ---- building ---------------------------------------------------------------

void TfrmSoundDialog::BuildLayout()
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

QWidget* TfrmSoundDialog::BuildPlacePane()
{
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    auto* header = new QLabel(QStringLiteral("Folders"), pane);
    header->setProperty("paneHeader", true);
    layout->addWidget(header);

    DriveComboBox1 = MakePlaceList(pane);
    layout->addWidget(DriveComboBox1);
    m_model = new QFileSystemModel(this);
    Directory = MakeFolderTree(pane, m_model);
    layout->addWidget(Directory, 1);
    return pane;
}

QWidget* TfrmSoundDialog::BuildFilePane()
{
    auto* pane = new QWidget(this);
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    auto* header = new QLabel(QStringLiteral("Sound files"), pane);
    header->setProperty("paneHeader", true);
    layout->addWidget(header);

    FileList = new QListWidget(pane);
    FileList->setObjectName("FileList");
    FileList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileList->setUniformItemSizes(true);
    FileList->setIconSize(QSize(16, 16));
    layout->addWidget(FileList, 1);

    PlaySound = new QAction(TransportIcon(true), QStringLiteral("Play"), this);
    PlaySound->setObjectName("PlaySound");
    PlaySound->setCheckable(true);
    SetHint(PlaySound, QStringLiteral("Play|Play the selected file."));
    StopSound = new QAction(TransportIcon(false), QStringLiteral("Stop"), this);
    StopSound->setObjectName("StopSound");
    SetHint(StopSound, QStringLiteral("Stop|Stop playing."));

    auto* bar = new QHBoxLayout;
    bar->setSpacing(3);
    PlayButton = new QToolButton(pane);
    PlayButton->setObjectName("PlayButton");
    PlayButton->setDefaultAction(PlaySound);
    PlayButton->setIconSize(QSize(16, 16));
    StopButton = new QToolButton(pane);
    StopButton->setObjectName("StopButton");
    StopButton->setDefaultAction(StopSound);
    StopButton->setIconSize(QSize(16, 16));
    Volume = new QSlider(Qt::Horizontal, pane);
    Volume->setObjectName("Volume");
    Volume->setRange(0, 100);
    Volume->setValue(100);
    Volume->setPageStep(10);
    SetHint(Volume, QStringLiteral("Volume|Move the sound nearer or farther."));
    bar->addWidget(PlayButton);
    bar->addWidget(StopButton);
    bar->addSpacing(6);
    bar->addWidget(new QLabel(QStringLiteral("Volume"), pane));
    bar->addWidget(Volume, 1);
    layout->addLayout(bar);
    return pane;
}

void TfrmSoundDialog::ConnectSignals()
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
    // The tree fills and sorts itself as the model reads, which moves the
    // current folder about: it is kept in view until the user scrolls.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this] { RevealCurrent(); });
    connect(m_model, &QFileSystemModel::layoutChanged, this, [this] { RevealCurrent(); });
    connect(m_model, &QFileSystemModel::rowsInserted, this, [this] { RevealCurrent(); });
    connect(Directory->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { m_revealCurrent = false; });
    connect(FileList, &QListWidget::currentItemChanged, this, [this] { FileListClick(); });
    connect(FileList, &QListWidget::itemDoubleClicked, this, [this] { PlaySoundExecute(); });
    connect(PlaySound, &QAction::triggered, this, [this] { PlaySoundExecute(); });
    connect(StopSound, &QAction::triggered, this, [this] { StopSoundExecute(); });
    connect(Volume, &QSlider::valueChanged, this, [this](int position) { VolumeTrack(position); });
    connect(OkButton, &QPushButton::clicked, this, [this] { OkButtonClick(); });
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { UpdateActions(); });
}

// ---- directories ------------------------------------------------------------

QString TfrmSoundDialog::CurrentDirectory() const
{
    return m_currentDirectory;
}

void TfrmSoundDialog::SetCurrentDirectory(const QString& path)
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
    Directory->expand(index);
    Directory->setCurrentIndex(index);
    m_revealCurrent = true;
    RevealCurrent();
}

void TfrmSoundDialog::RevealCurrent()
{
    if (m_revealCurrent && Directory->currentIndex().isValid())
        Directory->scrollTo(Directory->currentIndex());
}

void TfrmSoundDialog::ShowDirectory(const QString& path)
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

void TfrmSoundDialog::FillFileList()
{
    // What plays belongs to the list that goes.
    if (PlaySound->isChecked()) {
        SampleChannel->Stop();
        PlaySound->setChecked(false);
    }
    QSignalBlocker quiet(FileList);
    FileList->clear();
    const QFileInfoList entries = QDir(m_currentDirectory).entryInfoList(QDir::Files, QDir::Name | QDir::IgnoreCase);
    const QIcon icon = CatalogIcon(2);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (name.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive))
            FileList->addItem(new QListWidgetItem(icon, name));
    }
    FileList->setCurrentItem(nullptr);
    UpdateActions();
}

void TfrmSoundDialog::ShowPlace(int place)
{
    if (place < 0 || place >= DriveComboBox1->count())
        return;
    m_placePath.clear(); // the tree starts over at the place chosen
    SetCurrentDirectory(DriveComboBox1->itemData(place).toString());
}

// ---- handlers ---------------------------------------------------------------

template <class F> void TfrmSoundDialog::Guarded(F&& work)
{
    ::Guarded(&m_prompts, std::forward<F>(work));
    UpdateActions();
}

void TfrmSoundDialog::FileListClick()
{
    Guarded([this] {
        const QListWidgetItem* item = FileList->currentItem();
        if (!item)
            return;
        // A rejected file leaves the channel with what it held.
        SampleChannel->Wave().SetFileName(QDir(m_currentDirectory).filePath(item->text()).toStdString());
    });
}

void TfrmSoundDialog::PlaySoundExecute()
{
    Guarded([this] {
        // The button went down with the click; it stays down only when
        // something plays.
        PlaySound->setChecked(false);
        if (!FileList->currentItem() || !SampleChannel->Mixer() || SampleChannel->Wave().DataSize() == 0)
            return;
        SampleChannel->Play();
        PlaySound->setChecked(true);
    });
}

void TfrmSoundDialog::StopSoundExecute()
{
    Guarded([this] {
        SampleChannel->Stop();
        PlaySound->setChecked(false);
    });
}

void TfrmSoundDialog::SampleChannelPlayEnd()
{
    PlaySound->setChecked(false);
    UpdateActions();
}

void TfrmSoundDialog::VolumeTrack(int position)
{
    Guarded([&] {
        // Nearer is louder: 100 puts the sound at the listener, 0 ten
        // units in front of it.
        SampleChannel->Sound3D().Position().SetZ(10.0L - static_cast<long double>(position) / 100.0L * 10.0L);
    });
}

void TfrmSoundDialog::OkButtonClick()
{
    Guarded([this] {
        QList<QListWidgetItem*> selected = FileList->selectedItems();
        if (selected.isEmpty())
            return;
        // Selection order is the order of the clicks; the import goes in
        // the list's order.
        std::sort(selected.begin(), selected.end(),
                  [this](QListWidgetItem* a, QListWidgetItem* b) { return FileList->row(a) < FileList->row(b); });
        const QDir folder(m_currentDirectory);
        for (const QListWidgetItem* item : selected)
            SelectedFiles << folder.filePath(item->text());
        accept();
    });
}

void TfrmSoundDialog::UpdateActions()
{
    const bool hasCurrent = FileList->currentItem() != nullptr;
    PlaySound->setEnabled(hasCurrent && SampleChannel && SampleChannel->Mixer());
    StopSound->setEnabled(hasCurrent && PlaySound->isChecked());
    OkButton->setEnabled(!FileList->selectedItems().isEmpty());
}
