#include "app/frm_main.h"

#include "app/about_box.h"
#include "app/application.h"
#include "app/data_directory.h"
#include "app/help_router.h"
#include "app/hints.h"
#include "app/prompts.h"
#include "app/widgets/led_number.h"
#include "app/widgets/mixer_slider.h"
#include "app/window_settings.h"
#include "audio/backends/alsa_mixer.h"
#include "audio/backends/sound_backend.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/main_mixer.h"
#include "audio/mixer_control.h"
#include "catalog/sound_tree.h"

#include <QAbstractEventDispatcher>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTableWidget>
#include <QTimer>

TfrmMain::TfrmMain(const TMainWindowEnvironment& environment, QWidget* parent)
    : QMainWindow(parent), m_prompts(environment.Prompts), m_settings(environment.Settings),
      m_dataDirectory(environment.DataDirectory)
{
    if (!m_settings) {
        m_ownSettings = std::make_unique<QSettings>(QStringLiteral("Ambitone"), QStringLiteral("Ambitone"));
        m_settings = m_ownSettings.get();
    }
    setObjectName("frmMain");
    setWindowTitle(QStringLiteral("Ambitone"));

    // The table objects and their events exist before the form is created,
    // as components placed on the form do.
    tblSchemes = std::make_unique<TTable>(Database, "Schemes");
    tblData = std::make_unique<TTable>(Database, "SchemeData");
    tblSounds = std::make_unique<TTable>(Database, "SoundCatalog");
    tblCategory = std::make_unique<TTable>(Database, "SoundCategory");
    tblPlayList = std::make_unique<TTable>(Database, "PlayListNames");
    tblSongs = std::make_unique<TTable>(Database, "MusicPlayList");
    tblSchemes->OnNewRecord = [this](TTable& t) { tblSchemesNewRecord(t); };
    tblSchemes->AfterScroll = [this](TTable& t) { tblSchemesAfterScroll(t); };
    tblData->SetFiltered(true);
    tblSongs->SetIndexName("PlayList");
    tblSongs->SetMaster(tblPlayList.get(), "RecordNo", "PlayListNo");
    tblSongs->AddLookupField("SchemeLookup", "SchemeNo", *tblSchemes, "RecordNo", "Name");

    // The sound device comes with the window's components; without one the
    // window still opens, and nothing plays.
    try {
        CreateSound(environment);
    } catch (...) {
        ShowCurrentException(m_prompts);
    }

    BuildWindow();
    BuildActions();
    BuildMenus();
    BuildTimers();
    ConnectSoundTree();
    HelpRouter = new THelpRouter(this);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, &TfrmMain::HelpForFocus);

    // Enabling rules run when the application falls idle.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TfrmMain::UpdateActions);

    try {
        FormCreate();
    } catch (...) {
        // The window opens with what was done so far.
        ShowCurrentException(m_prompts);
    }
    // The output volume is looked up once the window has loaded.
    try {
        BindOutputVolume(environment);
    } catch (...) {
        ShowCurrentException(m_prompts);
    }
    m_formCreated = true;
    UpdateActions();
}

void TfrmMain::CreateSound(const TMainWindowEnvironment& environment)
{
    SoundBackend = environment.SoundBackend ? environment.SoundBackend() : CreateOpenAlBackend();
    WaveMixer = std::make_unique<TMMDSWaveMixer>(*SoundBackend);
    ApplyMainMixerSettings(*WaveMixer);
    SampleChannel = std::make_unique<TMMDSMixChannel>(WaveMixer.get());
    ApplyChannelSettings(*SampleChannel, -1);
}

void TfrmMain::BindOutputVolume(const TMainWindowEnvironment& environment)
{
    MMMixerDevice1 = std::make_unique<TMMMixerDevice>(environment.MixerBackend ? environment.MixerBackend()
                                                                                : CreateAlsaMixerBackend());
    MMAudioLine1 = std::make_unique<TMMAudioLine>(MMMixerDevice1.get(), TMMComponentType::ctSrcWaveOut);
    MMMixerControl1 = std::make_unique<TMMMixerControl>(MMAudioLine1.get(), TMMControlType::ctVolume);
    MasterVolumeSlider->SetControl(MMMixerControl1.get());
}

TfrmMain::~TfrmMain()
{
    // The tables go before the widgets: nothing a dying widget reports may
    // reach them.
    DisconnectSoundTree();
    if (MasterVolumeSlider)
        MasterVolumeSlider->SetControl(nullptr);
    try {
        FormDestroy();
    } catch (...) {
        ShowCurrentException(m_prompts);
    }
    // Channels before their mixer, the mixer before its device.
    SampleChannel.reset();
    WaveMixer.reset();
    SoundBackend.reset();
}

QAction* TfrmMain::ActionByName(const QString& name) const
{
    for (QAction* action : m_actionList)
        if (action->objectName() == name)
            return action;
    return nullptr;
}

void TfrmMain::FormCreate()
{
    Database.Disconnect();
    Database.SetDirectory(m_dataDirectory);
    EnsureDirectory(m_dataDirectory);
    if (!Database.TableExists("Schemes"))
        CreateTables(Database);

    TitleEdit->setFixedHeight(16);
    TitleEdit->setFixedWidth(SchemeList->width());

    for (TTable* table : {tblSchemes.get(), tblData.get(), tblSounds.get(), tblCategory.get(),
                          tblPlayList.get(), tblSongs.get()}) {
        table->Open();
        BindFieldObjects();
    }
    FillListFromTable(*tblSchemes, SchemeList);
    FillListFromTable(*tblPlayList, PlayList);
    BuildSoundTree();
}

void TfrmMain::BindFieldObjects()
{
    auto bind = [](TTable& table, const char* name) -> TField* {
        return table.Active() ? table.FindField(name) : nullptr;
    };
    tblSchemesRecordNo = bind(*tblSchemes, "RecordNo");
    tblSchemesName = bind(*tblSchemes, "Name");
    if (tblSchemesName)
        tblSchemesName->SetDisplayWidth(250);
    tblSchemesLoopPeriod = bind(*tblSchemes, "LoopPeriod");
    tblSchemesVolume = bind(*tblSchemes, "Volume");
    tblDataRecordNo = bind(*tblData, "RecordNo");
    tblDataSchemeNo = bind(*tblData, "SchemeNo");
    tblDataSoundNo = bind(*tblData, "SoundNo");
    tblDataFreq = bind(*tblData, "Freq");
    tblDataRandomize = bind(*tblData, "Randomize");
    tblDataCoordX = bind(*tblData, "CoordX");
    tblDataCoordY = bind(*tblData, "CoordY");
    tblDataCoordZ = bind(*tblData, "CoordZ");
    tblDataPattern = bind(*tblData, "Pattern");
    tblDataPatternSpeed = bind(*tblData, "PatternSpeed");
    tblDataRepeat = bind(*tblData, "Repeat");
    tblDataRepeatPatten = bind(*tblData, "RepeatPatten");
    tblDataReversePattern = bind(*tblData, "ReversePattern");
    tblSoundsRecordNo = bind(*tblSounds, "RecordNo");
    tblSoundsCategory = bind(*tblSounds, "Category");
    tblSoundsName = bind(*tblSounds, "Name");
    tblSoundsSound = bind(*tblSounds, "Sound");
    tblCategoryRecordNo = bind(*tblCategory, "RecordNo");
    tblCategoryParentNo = bind(*tblCategory, "ParentNo");
    tblCategoryName = bind(*tblCategory, "Name");
    tblPlayListRecordNo = bind(*tblPlayList, "RecordNo");
    tblPlayListName = bind(*tblPlayList, "Name");
    if (tblPlayListName)
        tblPlayListName->SetSize(30); // the play list's field object is narrower than its column
    tblSongsRecordNo = bind(*tblSongs, "RecordNo");
    tblSongsPlayListNo = bind(*tblSongs, "PlayListNo");
    tblSongsMusicPath = bind(*tblSongs, "MusicPath");
    if (tblSongsMusicPath)
        tblSongsMusicPath->SetDisplayLabel("Music");
    tblSongsSchemeNo = bind(*tblSongs, "SchemeNo");
    tblSongsSchemeLookup = bind(*tblSongs, "SchemeLookup");
    if (tblSongsSchemeLookup)
        tblSongsSchemeLookup->SetDisplayLabel("Scheme");
}

void TfrmMain::FillListFromTable(TTable& table, QListWidget* list)
{
    table.First();
    while (!table.Eof()) {
        auto* item = new QListWidgetItem(QString::fromStdString(table.FieldByName("Name").AsString()));
        item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(table.GetBookmark().RecordNo));
        list->addItem(item);
        table.Next();
    }
}

void TfrmMain::FormClose()
{
    // Nothing is redrawn while the rows are freed.
    FreqScroll->hide();
    HidePanel->hide();
    SoundTree->FinishEdit();
    UnloadScheme();
}

void TfrmMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    SaveSettings();
    if (tblSchemes->Active() && tblSchemes->IsEditing())
        tblSchemes->Post();
    for (TTable* table : {tblSchemes.get(), tblData.get(), tblSounds.get(), tblCategory.get(),
                          tblPlayList.get(), tblSongs.get()})
        table->Close();
}

void TfrmMain::Exit1Click()
{
    // Ending through the menu writes the open scheme back exactly as closing
    // the window does.
    close();
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // A failure while writing back is shown, but never keeps the window (and
    // a logout) waiting.
    try {
        FormClose();
    } catch (...) {
        ShowCurrentException(m_prompts);
    }
    SaveSettings();
    if (frmAbout)
        frmAbout->close();
    if (HelpRouter && HelpRouter->Window())
        HelpRouter->Window()->close();
    event->accept();
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!m_firstShowDone) {
        m_firstShowDone = true;
        RestoreSettings();
    }
}

void TfrmMain::RestoreSettings()
{
    RestoreWindowPlacement(this, *m_settings, "MainForm", QRect(235, 240, 747, 585));
    RestoreSplitterPosition(MainSpit, *m_settings, "MainSpit", 502);
    RestoreSplitterPosition(SchemesSplitPanel, *m_settings, "SchemesSplitPanel", 164);
    RestoreSplitterPosition(MusicSplitPanel, *m_settings, "MusicSplitPanel", 282);
}

void TfrmMain::SaveSettings()
{
    // Before the first show nothing was restored, so nothing is saved over it.
    if (!m_firstShowDone)
        return;
    SaveWindowPlacement(this, *m_settings, "MainForm");
    SaveSplitterPosition(MainSpit, *m_settings, "MainSpit");
    SaveSplitterPosition(SchemesSplitPanel, *m_settings, "SchemesSplitPanel");
    SaveSplitterPosition(MusicSplitPanel, *m_settings, "MusicSplitPanel");
    m_settings->sync();
}

bool TfrmMain::event(QEvent* event)
{
    if (event->type() == QEvent::StatusTip) {
        ApplicationEvents1Hint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}

void TfrmMain::ApplicationEvents1Hint(const QString& hint)
{
    statusBar()->showMessage(HintLongPart(hint));
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SchemeList && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty())
            SchemeListKeyPress(key);
        return false; // the list still acts on the key
    }
    if (watched == TitleEdit) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            TitleEditKeyPress(key);
            return key->isAccepted() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter);
        }
        if (event->type() == QEvent::FocusOut)
            TitleEditExit();
    }
    if (watched == SongGrid && event->type() == QEvent::Resize)
        SongPaneResize();
    return QMainWindow::eventFilter(watched, event);
}

void TfrmMain::SongPaneResize()
{
    SongGrid->setColumnWidth(0, std::max(0, SongGrid->width() - 100));
    SongGrid->setColumnWidth(1, 80);
}

void TfrmMain::HelpContentsExecute()
{
    HelpRouter->ShowContents();
}

void TfrmMain::HelpForFocus()
{
    int context = THelpRouter::FindHelpContext(QApplication::focusWidget());
    if (context == 0)
        HelpRouter->ShowContents();
    else
        HelpRouter->ShowContext(context);
}

void TfrmMain::AboutAmbitoneExecute()
{
    if (!frmAbout)
        frmAbout = new TfrmAbout(this);
    frmAbout->exec();
}
