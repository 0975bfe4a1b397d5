#pragma once
// TfrmMain, the one main window. It owns what lives for the run (the
// library tables, the sound services, the scheme session, the command map,
// the panels) and
// wires them together; each panel holds its own widgets, state and
// handlers. The window's own handlers are the shell's: start-up, close,
// hints, help and the enabling of commands.

#include <QMainWindow>
#include <QString>

#include <filesystem>
#include <functional>
#include <string>
#include <memory>

class IClock;
class IMixerBackend;
class IPrompts;
class ISoundBackend;
class QSettings;
class QSplitter;
class QTabWidget;
class TCatalogPanel;
class TCommandMap;
class THelpRouter;
class TLibraryTables;
class TListeningOptions;
class TMusicPage;
class TSleepTimer;
class TMprisPlayer;
class QLabel;
class TSchemeListPanel;
class TSchemePanel;
class TSchemeSession;
class TSoundServices;
class TfrmAbout;

struct TMainWindowEnvironment {
    std::filesystem::path DataDirectory;
    IPrompts* Prompts = nullptr;   // required; answers every question
    QSettings* Settings = nullptr; // nullptr: the user's settings store
    // The clock every engine timer runs on; nullptr: the program's default
    // clock (a Qt clock in the program, a virtual one in tests).
    IClock* Clock = nullptr;
    // The system's output mixer; unset: ALSA. A factory that gives none
    // stands for a computer without a mixer.
    std::function<std::unique_ptr<IMixerBackend>()> MixerBackend;
    // The 3D sound device; unset: OpenAL Soft on the real output.
    std::function<std::unique_ptr<ISoundBackend>()> SoundBackend;
    // The music page's songs play on an offline device instead of the
    // sound card (tests).
    bool MusicOffline = false;
    // The window answers media keys and the desktop's player controls on
    // the session bus (when there is one).
    bool PublishPlayer = true;
};

class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TfrmMain(const TMainWindowEnvironment& environment, QWidget* parent = nullptr);
    ~TfrmMain() override;

    IPrompts& Prompts() const { return *m_prompts; }
    QSettings& Settings() const { return *m_settings; }
    TLibraryTables& Tables() const { return *m_tables; }
    TSoundServices& Sound() const { return *m_sound; }
    TSchemeSession& Session() const { return *m_session; }
    TCommandMap& Commands() const { return *m_commands; }
    TSchemeListPanel& SchemeListPanel() const { return *m_schemeList; }
    TSchemePanel& SchemePanel() const { return *m_schemePanel; }
    TCatalogPanel& CatalogPanel() const { return *m_catalog; }
    TMusicPage& MusicPage() const { return *m_musicPage; }
    THelpRouter& HelpRouter() const { return *m_helpRouter; }
    // Set by the program's entry; made on first use otherwise.
    TfrmAbout* frmAbout = nullptr;

    void FormCreate();
    void FormClose();
    void FormDestroy();
    void Exit1Click();
    void ApplicationEvents1Hint(const QString& hint);
    void ActionList1Update();
    void HelpContentsExecute();
    void AboutAmbitoneExecute();
    void HelpForFocus();
    // Scheme packages (scheme_packages.cpp): the open scheme exported as
    // the panel holds it; a package imported as a new scheme, opened.
    void ExportAmbitoneExecute();
    // The page shown: 0 "Ambitone", 1 "Musical Environment" (View menu).
    void ShowPage(int page);
    // Options > Stop After: the open scheme fades out over the last 30
    // seconds and stops `minutes` from now; 0 is Off.
    void SetSleepTimer(int minutes);
    TMprisPlayer* MediaPlayer() const { return m_mpris; }
    // Options > Headphones (3D audio) and Options > Output Device.
    TListeningOptions& Listening() const { return *m_listening; }
    TSleepTimer& SleepTimer() const { return *m_sleep; }
    QLabel* lblSleep = nullptr; // the time left, in the status bar
    void ImportAmbitoneExecute();
    // Ambitone > Render to File... (render_dialog.cpp).
    void RenderToFileExecute();
    void ReadSchemePackage(const QString& path);
    // The idle-time update of every action: ActionList1Update, then each
    // action's own enabling rule.
    void UpdateActions();
    void SaveSettings();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildWindow();
    void BuildCommands();  // command_table.cpp
    void BuildMenus();     // command_table.cpp
    void WirePanels();
    void PublishPlayer();
    void RestoreSettings();

    IPrompts* m_prompts;
    QSettings* m_settings;
    std::unique_ptr<QSettings> m_ownSettings;
    std::filesystem::path m_dataDirectory;
    std::unique_ptr<TLibraryTables> m_tables;
    std::unique_ptr<TSoundServices> m_sound;
    std::unique_ptr<TSchemeSession> m_session; // the open scheme's rows and scheduler
    TCommandMap* m_commands = nullptr;
    THelpRouter* m_helpRouter = nullptr;
    QTabWidget* PageControl = nullptr;
    QSplitter *MainSpit = nullptr, *SchemesSplitPanel = nullptr;
    TSchemeListPanel* m_schemeList = nullptr;
    TSchemePanel* m_schemePanel = nullptr;
    TCatalogPanel* m_catalog = nullptr;
    TMusicPage* m_musicPage = nullptr;
    bool m_musicOffline = false;
    std::unique_ptr<TSleepTimer> m_sleep;
    TListeningOptions* m_listening = nullptr;
    TMprisPlayer* m_mpris = nullptr;
    std::function<void(const std::string&)> m_previousMpegMessageBox;
    bool m_firstShowDone = false;
    bool m_formCreated = false;
    bool m_destroyed = false;
};
