#pragma once
// TfrmMain, the one main window: it owns everything that lives for the run
// (the database and its six table objects, the timers, the action list, the
// menus and every pane) and holds the handlers of every command. Each
// subsystem defines its handlers in its own folder (the scheme list's in
// src/scheme/scheme_list.cpp); the logic sits in plain classes they call.

#include "store/table.h"

#include <QMainWindow>
#include <QString>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class IMixerBackend;
class ISoundBackend;
class TMMDSMixChannel;
class TMMDSWaveMixer;
class IPrompts;
class TMMAudioLine;
class TMMMixerControl;
class TMMMixerDevice;
class TMMMixerSlider;
class QAction;
class QCheckBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QScrollArea;
class QSettings;
class QSlider;
class QSplitter;
class QStackedWidget;
class QTabBar;
class QTableWidget;
class QTabWidget;
class QTimer;
class QToolButton;
class QTreeWidget;
class TGauge;
class THelpRouter;
class TLedNumber;
class TfrmAbout;
class TSoundTree;
class TCatalogNode;
class QTreeWidgetItem;
struct TCatalogNodeData;

// The lime Play and Stop glyphs of the tool bar.
class QIcon;
QIcon TransportIcon(bool play);

struct TMainWindowEnvironment {
    std::filesystem::path DataDirectory;
    IPrompts* Prompts = nullptr;   // required; answers every question
    QSettings* Settings = nullptr; // nullptr: the user's settings store
    // The system's output mixer; unset: ALSA. A factory that gives none
    // stands for a computer without a mixer.
    std::function<std::unique_ptr<IMixerBackend>()> MixerBackend;
    // The 3D sound device; unset: OpenAL Soft on the real output.
    std::function<std::unique_ptr<ISoundBackend>()> SoundBackend;
};

class TfrmMain : public QMainWindow {
    Q_OBJECT

public:
    explicit TfrmMain(const TMainWindowEnvironment& environment, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Item data of SoundTree nodes: the node's catalogue data, and its image
    // index (2 a sample, 3 and 4 a category).
    static constexpr int NodeDataRole = Qt::UserRole;
    static constexpr int NodeImageRole = Qt::UserRole + 1;

    IPrompts& Prompts() { return *m_prompts; }
    QSettings& Settings() { return *m_settings; }
    QAction* ActionByName(const QString& name) const;
    const std::vector<QAction*>& Actions() const { return m_actionList; }

    // ----- sound (owned for the run) -----
    std::unique_ptr<ISoundBackend> SoundBackend;
    std::unique_ptr<TMMDSWaveMixer> WaveMixer;
    std::unique_ptr<TMMDSMixChannel> SampleChannel; // the catalogue's preview

    // ----- record store (owned for the run) -----
    TDatabase Database;
    std::unique_ptr<TTable> tblSchemes, tblData, tblSounds, tblCategory, tblPlayList, tblSongs;
    TField *tblSchemesRecordNo = nullptr, *tblSchemesName = nullptr, *tblSchemesLoopPeriod = nullptr,
           *tblSchemesVolume = nullptr;
    TField *tblDataRecordNo = nullptr, *tblDataSchemeNo = nullptr, *tblDataSoundNo = nullptr,
           *tblDataFreq = nullptr, *tblDataRandomize = nullptr, *tblDataCoordX = nullptr,
           *tblDataCoordY = nullptr, *tblDataCoordZ = nullptr, *tblDataPattern = nullptr,
           *tblDataPatternSpeed = nullptr, *tblDataRepeat = nullptr, *tblDataRepeatPatten = nullptr,
           *tblDataReversePattern = nullptr;
    TField *tblSoundsRecordNo = nullptr, *tblSoundsCategory = nullptr, *tblSoundsName = nullptr,
           *tblSoundsSound = nullptr;
    TField *tblCategoryRecordNo = nullptr, *tblCategoryParentNo = nullptr, *tblCategoryName = nullptr;
    TField *tblPlayListRecordNo = nullptr, *tblPlayListName = nullptr;
    TField *tblSongsRecordNo = nullptr, *tblSongsPlayListNo = nullptr, *tblSongsMusicPath = nullptr,
           *tblSongsSchemeNo = nullptr, *tblSongsSchemeLookup = nullptr;

    // ----- window regions -----
    QTabWidget* PageControl = nullptr;
    QWidget *AmbitonePage = nullptr, *MusicPage = nullptr;
    QSplitter *MainSpit = nullptr, *SchemesSplitPanel = nullptr, *MusicSplitPanel = nullptr;
    QWidget* TitlesPane = nullptr;
    QListWidget* SchemeList = nullptr;
    QLineEdit* TitleEdit = nullptr;
    QWidget* PropGroup = nullptr;
    QLabel* lblAmbitoneTitle = nullptr;
    QStackedWidget* NoteBook = nullptr;
    QWidget *FreqPage = nullptr, *LocationPage = nullptr;
    QTabBar* TabSet = nullptr;
    QScrollArea* FreqScroll = nullptr;
    QWidget* HidePanel = nullptr;
    QScrollArea* LocationScroll = nullptr;
    QCheckBox* chkCounter = nullptr;
    TGauge* ProgressGauge = nullptr;
    TLedNumber *LoopCount = nullptr, *lblLoopLength = nullptr, *PlayTime = nullptr;
    QToolButton *UpButton = nullptr, *DownButton = nullptr;
    QToolButton *PlaySchemeButton = nullptr, *StopSchemeButton = nullptr;
    TMMMixerSlider* MasterVolumeSlider = nullptr;
    std::unique_ptr<TMMMixerDevice> MMMixerDevice1;
    std::unique_ptr<TMMAudioLine> MMAudioLine1;
    std::unique_ptr<TMMMixerControl> MMMixerControl1;
    TSoundTree* SoundTree = nullptr;
    QCheckBox* chkPlaySample = nullptr;
    QLabel* lblRecordCount = nullptr;
    QListWidget* PropList = nullptr; // never shown: the ordered container of the rows
    QListWidget* PlayList = nullptr;
    QTableWidget* SongGrid = nullptr;
    THelpRouter* HelpRouter = nullptr;
    TfrmAbout* frmAbout = nullptr;

    QTimer *PlayTimer = nullptr, *PatternTime = nullptr, *ScrollTimer = nullptr;

    // ----- actions and menus -----
    QAction *NewScheme = nullptr, *RenameScheme = nullptr, *DeleteScheme = nullptr,
            *ExportAmbitone = nullptr, *ImportAmbitone = nullptr, *UseSample = nullptr,
            *RemoveSample = nullptr, *ClearAllSchemeSamples = nullptr, *MuteSchemeSample = nullptr,
            *SoloSchemeSample = nullptr, *UnmuteAllSchemeSample = nullptr, *RandomizeSample = nullptr,
            *RepeatOnPlay = nullptr, *SetSoundPattern = nullptr, *PlayScheme = nullptr,
            *StopScheme = nullptr, *PlaySchemeSample = nullptr, *SampleFixEndingPop = nullptr,
            *FixEndingPop = nullptr, *NewCategory = nullptr, *NewSubCategory = nullptr,
            *RemoveCategory = nullptr, *ImportSamples = nullptr, *PlaySample = nullptr,
            *DeleteSample = nullptr, *ExportSample = nullptr, *ImportCategory = nullptr,
            *ExportCategory = nullptr, *NewPlayList = nullptr, *RemovePlayList = nullptr,
            *InsertNewSong = nullptr, *RemoveSong = nullptr, *PlaySongSample = nullptr,
            *StopSongSample = nullptr, *HelpContents = nullptr, *AboutAmbitone = nullptr;
    QAction* Exit1 = nullptr;
    QMenu *SchemeListPopup = nullptr, *SchemePopup = nullptr, *FreqPopup = nullptr,
          *SamplePopup = nullptr, *PlayListPopup = nullptr, *MusicPopup = nullptr;

    // ----- state shared between subsystems -----
    int OpenSchemeIndex = -1;
    int SelectedRow = -1;
    int LoopPosition = 0;
    TCatalogNode* UnfiledNode = nullptr; // always the first root node of SoundTree
    QTreeWidgetItem* DragNode = nullptr; // the node of the drag under way
    bool ScrollUp = false;               // the drag auto-scroll's direction

    // ----- shell handlers -----
    void FormCreate();
    void FormClose();
    void FormDestroy();
    void Exit1Click();
    void ApplicationEvents1Hint(const QString& hint);
    void ActionList1Update();
    bool HighlightedAvailable() const;
    void HelpContentsExecute();
    void AboutAmbitoneExecute();
    void HelpForFocus();
    void SongPaneResize();
    // The idle-time update of every action: ActionList1Update, then each
    // action's own enabling rule.
    void UpdateActions();
    void SaveSettings();

    // ----- scheme list (src/scheme/scheme_list.cpp) -----
    void NewSchemeExecute();
    void RenameSchemeExecute();
    void DeleteSchemeExecute();
    void SchemeListClick();
    void SchemeListKeyPress(QKeyEvent* event);
    void TitleEditExit();
    void TitleEditKeyPress(QKeyEvent* event);
    void tblSchemesNewRecord(TTable& table);
    void tblSchemesAfterScroll(TTable& table);
    bool SchemeListCheck() const;
    int SelectedSchemeIndex() const;
    static TBookmark ItemBookmark(const QListWidgetItem* item);
    bool RenameInProgress() const { return m_renaming; }

    // ----- scheme rows (src/scheme/scheme_load.cpp) -----
    void LoadScheme();
    void UnloadScheme();

    // ----- category tree (src/catalog/category_tree.cpp, tree_drag.cpp) -----
    void BuildSoundTree();
    void AddCategorySamples(QTreeWidgetItem* node);
    void AddSubCategories(QTreeWidgetItem* node); // nullptr: the root level
    void RefileSamplesAsUnfiled(QTreeWidgetItem* node);
    void DeleteCategoryContents(QTreeWidgetItem* node);
    void SoundTreeChange(QTreeWidgetItem* node);
    bool SoundTreeEditing(QTreeWidgetItem* node) const;
    void SoundTreeEdited(QTreeWidgetItem* node, const QString& text);
    void SoundTreeStartDrag();
    // y in the tree's client coordinates.
    bool SoundTreeDragOver(QTreeWidgetItem* target, int y);
    void SoundTreeDragDrop(QTreeWidgetItem* target);
    void SoundTreeEndDrag();
    // 2 a sample, 3 a collapsed and 4 an expanded category, 5 "Unfiled".
    static int SoundTreeGetImageIndex(const QTreeWidgetItem* node);
    void ScrollTimerTimer();
    void tblSoundsAfterOpen(TTable& table);
    void NewCategoryExecute(int tag);
    void RemoveCategoryExecute();
    // The data of a node of SoundTree; nullptr for "Unfiled".
    static TCatalogNodeData* NodeData(const QTreeWidgetItem* node);

    // ----- sample import (src/catalog/sample_import.cpp) -----
    void ImportSampleFiles(const QStringList& paths);
    void ImportSamplesExecute();
    void FMDropFMDragDrop(const QStringList& paths);

    // ----- preview, deletion, export (src/catalog/sample_preview.cpp) -----
    void LoadPreview(QTreeWidgetItem* node);
    void PlaySampleExecute();
    void DeleteSampleExecute();
    void ExportSampleExecute();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildWindow();
    QWidget* BuildTitlesPane();
    QWidget* BuildPropGroup();
    QWidget* BuildLoopRow();
    QWidget* BuildToolBar();
    QWidget* BuildLibraryPane();
    QWidget* BuildMusicPage();
    void BuildActions();
    void BuildMenus();
    void BuildTimers();
    void BindFieldObjects();
    void ConnectSoundTree();
    void DisconnectSoundTree();
    void BindOutputVolume(const TMainWindowEnvironment& environment);
    void CreateSound(const TMainWindowEnvironment& environment);
    void FillListFromTable(TTable& table, QListWidget* list);
    void RestoreSettings();
    QAction* AddAction(QAction*& slot, const char* name, const char* category, const QString& caption,
                       const QString& hint, std::function<bool()> enabled = {});
    void OnAction(QAction* action, void (TfrmMain::*handler)());

    IPrompts* m_prompts;
    QSettings* m_settings;
    std::unique_ptr<QSettings> m_ownSettings;
    std::filesystem::path m_dataDirectory;
    std::vector<QAction*> m_actionList;
    std::map<QAction*, std::function<bool()>> m_updateRules;
    bool m_firstShowDone = false;
    bool m_formCreated = false;
    bool m_updating = false;
    bool m_destroyed = false;
    bool m_renaming = false;
    bool m_programSelection = false; // selection changes made by the window itself
    friend class TSchemeListAccess;
};
