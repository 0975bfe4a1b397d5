#pragma once
// The "Musical Environment" page: the play lists beside the songs of the
// selected one, each song an MP3 file with a scheme chosen beside it, played
// and stopped through the page's song player. Without the MPEG decoder
// library the page still works on its lists and says why it cannot play.

#include <QWidget>

#include <memory>

class IClock;
class IPrompts;
class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QSettings;
class QSplitter;
class QTableWidget;
class QToolBar;
class TLibraryTables;
class TMusicChain;

class TMusicPage : public QWidget {
    Q_OBJECT

public:
    // offline: songs play on an offline device instead of the sound card.
    TMusicPage(TLibraryTables& tables, IPrompts& prompts, IClock& clock, bool offline = false,
               QWidget* parent = nullptr);
    ~TMusicPage() override;

    QSplitter* MusicSplitPanel = nullptr;
    QWidget* PlayListPanel = nullptr;
    QListWidget* PlayList = nullptr;
    QLineEdit* SongEdit = nullptr; // over a play list while it is renamed
    QTableWidget* SongGrid = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QToolBar* SongTools = nullptr;
    QLabel* lblNoDecoder = nullptr; // shown when songs cannot be played

    // The song player (nullptr without the MPEG decoder library).
    TMusicChain* Chain() const { return m_chain.get(); }

    // One entry per PlayListNames row, in record order.
    void FillFromTable();
    void NewPlayListExecute();
    void PlayListClick();
    void PlayListDblClick();
    void SongEditExit();
    void InsertNewSongExecute();
    void RemoveSongExecute();
    // The ellipsis of row `row`'s "Music" cell: the Music Browser.
    void SongGridEditButtonClick(int row);
    // The scheme chosen in row `row`'s "Scheme" cell (0: none).
    void SongSchemeChosen(int row, int32_t schemeNo);
    void SongGridCellClick(int row, int column);
    void PlaySongSampleExecute();
    void StopSongSampleExecute();
    bool PlaySongSampleUpdate() const;
    bool StopSongSampleUpdate() const;
    void SongPaneResize();
    // The song grid works only on a selected play list.
    void UpdateEnabled();
    bool PlayListSelected() const;
    bool SongsAvailable() const;
    // Shows the current play list's songs again, the current one selected.
    void ShowSongs();
    // The tool bar under the grid shows these actions.
    void BindSongCommands(QAction* play, QAction* stop, QAction* insert, QAction* remove);

    void RestoreSettings(QSettings& settings);
    void SaveSettings(QSettings& settings) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The current song: row `row` of the grid made the songs table's
    // current row; false when that row is not stored yet.
    bool GoToSong(int row);
    // The pending new row (added by New and not yet given a file or a
    // scheme) leaves the grid untouched.
    void DropPendingSong();

    TLibraryTables& m_tables;
    IPrompts& m_prompts;
    IClock& m_clock;
    bool m_offline;
    std::unique_ptr<TMusicChain> m_chain;
    bool m_pendingSong = false; // the grid's last row is a new song not yet stored
    bool m_renaming = false;
};
