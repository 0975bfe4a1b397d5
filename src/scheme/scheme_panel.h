#pragma once
// The scheme panel: the open scheme's title, its rows on the Frequency and
// Location pages, the loop counters and the transport with the output
// volume. It plays the open scheme through the window's scheme session
// (rows, channels and the scheduler with its timers, which hold the loop
// length and LoopPosition) and owns the selected row; the other panels ask
// it.

#include "store/table.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <vector>

class IClock;
class IPrompts;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPainter;
class QRect;
class QScrollArea;
class QStackedWidget;
class QTabBar;
class QToolButton;
class TGauge;
class TLedNumber;
class TLibraryTables;
class TMMMixerControl;
class TMMMixerSlider;
class TDrawnTabBar;
class TLocationGraph;
class TMMDSMixChannel;
class TScheduler;
class TSchemeListPanel;
class TSchemeSession;
struct TSampleSlot;

class TSchemePanel : public QWidget {
    Q_OBJECT

public:
    TSchemePanel(TLibraryTables& tables, TSchemeSession& session, const TSchemeListPanel& schemeList,
                 IPrompts& prompts, IClock& clock, QWidget* parent = nullptr);
    ~TSchemePanel() override;

    QLabel* lblAmbitoneTitle = nullptr;
    QStackedWidget* NoteBook = nullptr;
    QWidget *FreqPage = nullptr, *LocationPage = nullptr;
    TDrawnTabBar* TabSet = nullptr;
    QScrollArea* FreqScroll = nullptr;
    QWidget* HidePanel = nullptr;
    QScrollArea* LocationScroll = nullptr;
    QCheckBox* chkCounter = nullptr;
    // The Location page's graph side (location_page.cpp).
    QWidget* GraphPanel = nullptr;
    TLocationGraph* Graph = nullptr;
    TDrawnTabBar* tsSel = nullptr;
    QLabel* lblCoords = nullptr;
    QCheckBox* chkPattern = nullptr;
    QToolButton* PatternButton = nullptr;
    TGauge* ProgressGauge = nullptr;
    TLedNumber *LoopCount = nullptr, *lblLoopLength = nullptr, *PlayTime = nullptr;
    QToolButton *UpButton = nullptr, *DownButton = nullptr;
    QToolButton *PlaySchemeButton = nullptr, *StopSchemeButton = nullptr;
    TMMMixerSlider* MasterVolumeSlider = nullptr;
    QListWidget* PropList = nullptr; // never shown: the ordered container of the rows
    QLineEdit* txtEditName = nullptr; // over a row's name while it is renamed

    TSchemeSession& Session() { return m_session; }
    TScheduler& Scheduler();
    const TScheduler& Scheduler() const;
    int LoopPosition() const;
    int SelectedRow() const { return m_selectedRow; }
    // The Play button is down.
    bool PlayButtonDown() const;
    // A row of the open scheme is selected.
    bool HighlightedAvailable() const { return m_selectedRow >= 0; }
    int RowCount() const;
    TSampleSlot& Slot(int row) const { return *m_slots.at(static_cast<size_t>(row)); }

    // ----- the rows (scheme_rows.cpp)
    void LoadScheme();
    void UnloadScheme();
    // Writes every row and the loop length of the open scheme to the store
    // in one transaction, leaving the scheme open (the Schemes cursor on
    // its row).
    void WriteBack();
    // Builds row i from the current SchemeData and SoundCatalog rows.
    void BuildSampleRow(int i);
    void UpdatePeriodDisplay(int i);
    // Makes row s the selected one (-1 for none) and shows it.
    void SelectRow(int s);
    // Places the sample of that SoundCatalog row into the open scheme.
    void UseSampleExecute(TBookmark sound);
    void RemoveSampleExecute();
    void RemoveRow(int i);
    void ClearAllSchemeSamplesExecute();
    void PlaySchemeExecute();
    void StopSchemeExecute();
    void PlaySchemeSampleExecute();
    // The Mute action has toggled its check mark already.
    void MuteSchemeSampleExecute(bool checked);
    void SoloSchemeSampleExecute();
    void UnmuteAllSchemeSampleExecute();
    // The name labels' pop-up opens: Mute's check mark follows the row.
    void SchemePopupPopup();
    // The page tab changed: the name labels go with it.
    void TabSetChange(int page);
    // Enabled for a selected row strictly inside the slider's range; the
    // action's check mark shows the row's flag.
    bool RandomizeSampleUpdate(QAction* randomize) const;
    void RandomizeSampleExecute();
    void RepeatOnPlayExecute();
    void SetSoundPatternExecute();
    // Renaming a sample from its row.
    void txtEditNameDblClick();
    void txtEditNameExit();
    // The pop-ups of the rows' labels and sliders, the Mute action and the
    // Set Sound Pattern action (the graph's "Pattern" button).
    void BindRowCommands(QMenu* schemePopup, QMenu* freqPopup, QAction* mute, QAction* pattern);

    // ----- the ending-pop repair (row_repair.cpp)
    bool SampleFixEndingPopUpdate() const;
    void SampleFixEndingPopExecute(TMMDSMixChannel* repairChannel);

    // ----- packages (scheme_exchange.cpp)
    // Writes the open scheme, titled `title`, into a scheme package.
    void WriteSchemePackage(const QString& path, const QString& title);

    // ----- the location graph (location_page.cpp)
    void GraphMouseMove();
    void GraphClick();
    // Draws a tab of tsSel or TabSet, then repaints the graph.
    void tsSelDrawTab(QPainter& painter, const QTabBar& tabs, int index, const QRect& rect);
    void chkPatternClick();
    // The sample of a SoundCatalog row was renamed: its rows show the name.
    void SampleRenamed(TBookmark sound, const QString& name);
    // Another scheme is opening: the timers stop and the Play button comes
    // up before its rows are built.
    void StopForSchemeChange();
    void SetTitle(const QString& title) const;
    void tblSchemesAfterScroll(TTable& table);
    // The tool bar's buttons show the transport actions.
    void BindTransport(QAction* play, QAction* stop);
    void BindVolumeControl(TMMMixerControl* control);
    // Nothing is redrawn while the rows are freed at close.
    void HideRows();

signals:
    // A sample was renamed from its row: the library shows the new name.
    void SampleRenamedHere(TBookmark sound, const QString& name);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* BuildLoopRow();
    QWidget* BuildGraphPanel(QWidget* parent);
    // A pattern timer tick: the graph follows when it is shown with
    // patterns in motion.
    void MotionTicked();
    // Places rows `from` to the last and sizes the containers to the rows.
    void LayoutRows(int from = 0);
    void ConnectRow(TSampleSlot& slot);
    // The row whose name label or slider `control` is; -1 for any other.
    int RowOfControl(const QObject* control) const;
    // The rows' controls become spares, hidden once the event loop runs
    // unless the next scheme's rows take them first.
    void ParkRows();
    void HideSpareSlots();
    void WriteRowBack(TSampleSlot& slot);
    QWidget* RowsContainer() const;
    QWidget* BuildToolBar();
    void ShowTransport();

    TLibraryTables& m_tables;
    const TSchemeListPanel& m_schemeList;
    TSchemeSession& m_session;
    IPrompts& m_prompts;
    IClock& m_clock;
    std::vector<std::unique_ptr<TSampleSlot>> m_slots; // in PropList order
    std::vector<std::unique_ptr<TSampleSlot>> m_spareSlots; // showing no row; the next one taken last
    static constexpr size_t MaxSpareSlots = 256;
    bool m_hideSparesPosted = false;
    QAction* m_playAction = nullptr;
    QMenu* m_schemePopup = nullptr;
    QMenu* m_freqPopup = nullptr;
    QAction* m_muteAction = nullptr;
    QPointer<QWidget> m_rowDialog; // the repeat or pattern pop-up that is open
    int m_renamedRow = -1;         // the row whose name txtEditName edits
    bool m_shownButtonDown = false; // the scheduler's Play button as last shown
    int m_selectedRow = -1;
};
