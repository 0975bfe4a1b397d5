#include "app/frm_main.h"

#include "app/listening_options.h"
#include "app/mpris.h"
#include "music/mpeg_library.h"
#include "audio/ds_mixer.h"
#include "playback/sleep_timer.h"

#include "app/about_box.h"
#include "app/command_map.h"
#include "app/help_router.h"
#include "audio/sound_services.h"
#include "base/clock.h"
#include "catalog/catalog_panel.h"
#include "music_page/music_page.h"
#include "playback/scheme_session.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "store/library_tables.h"
#include "ui/accessible.h"
#include "ui/error_guard.h"
#include "ui/hints.h"
#include "ui/panel_style.h"
#include "ui/prompts.h"
#include "ui/window_settings.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QSettings>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTabBar>
#include <QGuiApplication>
#include <QLabel>
#include <QTabWidget>

#include <utility>
#include <QVBoxLayout>

TfrmMain::TfrmMain(const TMainWindowEnvironment& environment, QWidget* parent)
    : QMainWindow(parent), m_prompts(environment.Prompts), m_settings(environment.Settings),
      m_dataDirectory(environment.DataDirectory), m_tables(std::make_unique<TLibraryTables>()),
      m_sound(std::make_unique<TSoundServices>(environment.Clock ? *environment.Clock : DefaultClock()))
{
    if (!m_settings) {
        m_ownSettings = std::make_unique<QSettings>(QStringLiteral("Ambitone"), QStringLiteral("Ambitone"));
        m_settings = m_ownSettings.get();
    }
    setObjectName("frmMain");
    setWindowTitle(QStringLiteral("Ambitone"));
    setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName(QStringLiteral("org.ambitone.Ambitone"));

    // Without a sound device the window still opens, and nothing plays.
    Guarded(m_prompts, [&] { m_sound->CreateSound(environment.SoundBackend); });
    // Without a mixer the loop still runs; it has nothing to play.
    m_session = m_sound->WaveMixer() ? std::make_unique<TSchemeSession>(*m_sound->WaveMixer(), m_sound->Clock())
                                     : std::make_unique<TSchemeSession>(m_sound->Clock());

    // The decoder library's failures reach the user in a message box.
    m_previousMpegMessageBox = std::exchange(
        MpegMessageBox, [this](const std::string& text) { m_prompts->ShowError(QString::fromStdString(text)); });
    m_musicOffline = environment.MusicOffline;
    BuildWindow();
    m_listening = new TListeningOptions(m_sound->WaveMixer(), *m_settings,
                                        [this](const QString& text) { statusBar()->showMessage(text); }, this);
    Guarded(m_prompts, [this] { m_listening->Restore(); });
    BuildCommands();
    BuildMenus();
    WirePanels();
    if (environment.PublishPlayer)
        PublishPlayer();
    m_helpRouter = new THelpRouter(this);
    auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
    help->setContext(Qt::ApplicationShortcut);
    connect(help, &QShortcut::activated, this, [this] { Guarded(m_prompts, [this] { HelpForFocus(); }); });

    // Enabling rules run when the application falls idle.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TfrmMain::UpdateActions);

    // A failure opens the window with what was done so far.
    Guarded(m_prompts, [this] { FormCreate(); });
    // The output volume is looked up once the window has loaded.
    Guarded(m_prompts, [&] {
        m_sound->BindOutputVolume(environment.MixerBackend);
        m_schemePanel->BindVolumeControl(m_sound->VolumeControl());
    });
    NameControls(this);
    m_formCreated = true;
    UpdateActions();
}

TfrmMain::~TfrmMain()
{
    // Nothing a dying widget reports may reach the tables, and nothing is
    // left bound to the volume control.
    m_catalog->DisconnectSoundTree();
    MpegMessageBox = std::move(m_previousMpegMessageBox); // nothing may reach a window that is gone
    m_schemePanel->BindVolumeControl(nullptr);
    Guarded(m_prompts, [this] { FormDestroy(); });
    // The panels go before the session, the session's channels before the
    // mixer, and all of them before the tables.
    m_sleep.reset();
    delete PageControl;
    m_session.reset();
}

void TfrmMain::BuildWindow()
{
    UseWindowFont(this);
    setStyleSheet(QString::fromLatin1(WindowStyleSheet()));

    PageControl = new QTabWidget(this);
    PageControl->setObjectName("PageControl");
    PageControl->setDocumentMode(true);
    QWidget* ambitonePage = BlackPanel("AmbitonePage");
    m_musicPage = new TMusicPage(*m_tables, *m_prompts, m_sound->Clock(), m_musicOffline);
    PageControl->addTab(ambitonePage, QStringLiteral("Ambitone"));
    PageControl->addTab(m_musicPage, QStringLiteral("Musical Environment"));
    PageControl->tabBar()->hide(); // the View menu chooses the page
    setCentralWidget(PageControl);

    m_schemeList = new TSchemeListPanel(*m_tables, *m_prompts);
    m_schemePanel = new TSchemePanel(*m_tables, *m_session, *m_schemeList, *m_prompts, m_sound->Clock());
    m_catalog = new TCatalogPanel(*m_tables, *m_prompts, *m_sound);

    SchemesSplitPanel = new QSplitter(Qt::Horizontal);
    SchemesSplitPanel->setObjectName("SchemesSplitPanel");
    SchemesSplitPanel->setChildrenCollapsible(false);
    SchemesSplitPanel->addWidget(m_schemeList);
    SchemesSplitPanel->addWidget(m_schemePanel);
    SchemesSplitPanel->setStretchFactor(1, 1);

    MainSpit = new QSplitter(Qt::Horizontal);
    MainSpit->setObjectName("MainSpit");
    MainSpit->setChildrenCollapsible(false);
    MainSpit->addWidget(SchemesSplitPanel);
    MainSpit->addWidget(m_catalog);
    MainSpit->setStretchFactor(0, 1);
    Column(ambitonePage)->addWidget(MainSpit);

    statusBar()->setObjectName("StatusBar1");
    statusBar()->setSizeGripEnabled(true);
    lblSleep = new QLabel(this);
    lblSleep->setObjectName("lblSleep");
    statusBar()->addPermanentWidget(lblSleep);
    // The sleep timer fades the whole scene through the listener and
    // stops it as the Stop button does.
    m_sleep = std::make_unique<TSleepTimer>(
        m_sound->Clock(),
        [this](float gain) {
            if (TMMDSWaveMixer* mixer = m_sound->WaveMixer())
                mixer->Sound3D().SetGain(gain);
        },
        [this] { m_schemePanel->StopSchemeExecute(); });
    m_sleep->OnChanged = [this] {
        const int64_t seconds = (m_sleep->RemainingMs() + 999) / 1000;
        const QString text = m_sleep->Running()
                                 ? QStringLiteral("Stops in %1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'))
                                 : QString();
        if (lblSleep->text() != text)
            lblSleep->setText(text);
        if (!m_sleep->Running() && m_commands) // it ran out: the menu says Off again
            for (int choice : {0, 15, 30, 45, 60, 90})
                m_commands->Action(QStringLiteral("Sleep%1").arg(choice))->setChecked(choice == 0);
    };
}

void TfrmMain::WirePanels()
{
    // The scheme list says which scheme is open; the scheme panel builds
    // and writes back its rows.
    connect(m_schemeList, &TSchemeListPanel::SchemeChanging, m_schemePanel, &TSchemePanel::StopForSchemeChange);
    connect(m_schemeList, &TSchemeListPanel::LoadRequested, m_schemePanel, &TSchemePanel::LoadScheme);
    connect(m_schemeList, &TSchemeListPanel::UnloadRequested, m_schemePanel, &TSchemePanel::UnloadScheme);
    connect(m_schemeList, &TSchemeListPanel::TitleChanged, m_schemePanel, &TSchemePanel::SetTitle);
    // A sample gone from the catalogue takes its rows with it.
    connect(m_catalog, &TCatalogPanel::SampleDeleted, m_schemePanel, &TSchemePanel::LoadScheme);
    connect(m_catalog, &TCatalogPanel::SampleRenamed, m_schemePanel, &TSchemePanel::SampleRenamed);
    connect(m_schemePanel, &TSchemePanel::SampleRenamedHere, m_catalog, &TCatalogPanel::ShowSampleName);
}

void TfrmMain::FormCreate()
{
    m_tables->Open(m_dataDirectory);
    m_schemeList->FillFromTable();
    m_musicPage->FillFromTable();
    m_catalog->BuildSoundTree();
}

void TfrmMain::FormClose()
{
    m_schemePanel->HideRows();
    m_catalog->FinishEdit();
    m_schemePanel->UnloadScheme();
}

void TfrmMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    SaveSettings();
    m_tables->Close();
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
    Guarded(m_prompts, [this] { FormClose(); });
    SaveSettings();
    if (frmAbout)
        frmAbout->close();
    if (m_helpRouter->Window())
        m_helpRouter->Window()->close();
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
    m_musicPage->RestoreSettings(*m_settings);
    ShowPage(m_settings->value(QStringLiteral("ViewPage"), 0).toInt());
}

void TfrmMain::PublishPlayer()
{
    TMprisPlayer::THooks hooks;
    QAction* play = m_commands->Action("PlayScheme");
    QAction* stop = m_commands->Action("StopScheme");
    hooks.Play = [play] {
        if (play->isEnabled() && !play->isChecked())
            play->trigger();
    };
    hooks.Stop = [stop] { stop->trigger(); };
    hooks.Playing = [this] { return m_schemePanel->PlayButtonDown(); };
    hooks.CanPlay = [this] { return m_schemeList->OpenSchemeIndex() >= 0; };
    hooks.Title = [this] {
        return m_schemeList->OpenSchemeIndex() >= 0 ? m_schemeList->SelectedSchemeTitle() : QString();
    };
    hooks.Raise = [this] {
        showNormal();
        raise();
        activateWindow();
    };
    hooks.Quit = [this] { close(); };
    m_mpris = new TMprisPlayer(std::move(hooks), this);
    connect(play, &QAction::toggled, m_mpris, &TMprisPlayer::Changed);
    connect(m_schemeList, &TSchemeListPanel::TitleChanged, m_mpris, &TMprisPlayer::Changed);
    connect(m_schemeList, &TSchemeListPanel::UnloadRequested, m_mpris, &TMprisPlayer::Changed,
            Qt::QueuedConnection);
}

void TfrmMain::SetSleepTimer(int minutes)
{
    if (minutes > 0)
        m_sleep->Start(int64_t(minutes) * 60000);
    else
        m_sleep->Cancel();
    for (int choice : {0, 15, 30, 45, 60, 90})
        m_commands->Action(QStringLiteral("Sleep%1").arg(choice))->setChecked(choice == minutes);
}

void TfrmMain::ShowPage(int page)
{
    page = page == 1 ? 1 : 0;
    PageControl->setCurrentIndex(page);
    if (m_commands) {
        m_commands->Action("ViewAmbitone")->setChecked(page == 0);
        m_commands->Action("ViewMusic")->setChecked(page == 1);
    }
}

void TfrmMain::SaveSettings()
{
    // Before the first show nothing was restored, so nothing is saved over it.
    if (!m_firstShowDone)
        return;
    SaveWindowPlacement(this, *m_settings, "MainForm");
    SaveSplitterPosition(MainSpit, *m_settings, "MainSpit");
    SaveSplitterPosition(SchemesSplitPanel, *m_settings, "SchemesSplitPanel");
    m_musicPage->SaveSettings(*m_settings);
    m_settings->setValue(QStringLiteral("ViewPage"), PageControl->currentIndex());
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

void TfrmMain::ActionList1Update()
{
    m_schemePanel->setEnabled(m_schemeList->SchemeListCheck());
    m_musicPage->UpdateEnabled();
}

void TfrmMain::UpdateActions()
{
    if (m_destroyed || !m_formCreated)
        return;
    m_commands->UpdateActions();
}

void TfrmMain::HelpContentsExecute()
{
    m_helpRouter->ShowContents();
}

void TfrmMain::HelpForFocus()
{
    int context = THelpRouter::FindHelpContext(QApplication::focusWidget());
    if (context == 0)
        m_helpRouter->ShowContents();
    else
        m_helpRouter->ShowContext(context);
}

void TfrmMain::AboutAmbitoneExecute()
{
    if (!frmAbout)
        frmAbout = new TfrmAbout(this);
    frmAbout->exec();
}
