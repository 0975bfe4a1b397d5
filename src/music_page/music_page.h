#pragma once
// The "Musical Environment" page: the play lists beside the songs of the
// selected one. The page is not shown yet; the music issue fills it in.

#include <QWidget>

class QListWidget;
class QSettings;
class QSplitter;
class QTableWidget;
class TLibraryTables;

class TMusicPage : public QWidget {
    Q_OBJECT

public:
    explicit TMusicPage(TLibraryTables& tables, QWidget* parent = nullptr);

    QSplitter* MusicSplitPanel = nullptr;
    QListWidget* PlayList = nullptr;
    QTableWidget* SongGrid = nullptr;

    // One entry per PlayListNames row, in record order.
    void FillFromTable();
    void SongPaneResize();
    // The song grid works only on a selected play list.
    void UpdateEnabled();
    bool PlayListSelected() const;
    bool SongsAvailable() const;

    void RestoreSettings(QSettings& settings);
    void SaveSettings(QSettings& settings) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    TLibraryTables& m_tables;
};
