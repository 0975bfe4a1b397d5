#pragma once
// The scheme panel: the open scheme's title, its rows on the Frequency and
// Location pages, the loop counters and the transport with the output
// volume. It plays the open scheme through the window's scheme session
// (rows, channels and the scheduler with its timers, which hold the loop
// length and LoopPosition) and owns the selected row; the other panels ask
// it.

#include "store/table.h"

#include <QWidget>

#include <memory>

class IClock;
class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QScrollArea;
class QStackedWidget;
class QTabBar;
class QToolButton;
class TGauge;
class TLedNumber;
class TLibraryTables;
class TMMMixerControl;
class TMMMixerSlider;
class TScheduler;
class TSchemeListPanel;
class TSchemeSession;

class TSchemePanel : public QWidget {
    Q_OBJECT

public:
    TSchemePanel(TLibraryTables& tables, TSchemeSession& session, const TSchemeListPanel& schemeList,
                 QWidget* parent = nullptr);
    ~TSchemePanel() override;

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
    QListWidget* PropList = nullptr; // never shown: the ordered container of the rows

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
    // Makes row `row` the selected one; -1 for none.
    void SelectRow(int row) { m_selectedRow = row; }

    void LoadScheme();
    void UnloadScheme();
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

private:
    QWidget* BuildLoopRow();
    QWidget* BuildToolBar();
    void ShowTransport();

    TLibraryTables& m_tables;
    const TSchemeListPanel& m_schemeList;
    TSchemeSession& m_session;
    QAction* m_playAction = nullptr;
    bool m_shownButtonDown = false; // the scheduler's Play button as last shown
    int m_selectedRow = -1;
};
