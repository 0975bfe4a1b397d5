#include "music_page/music_page.h"

#include "store/library_tables.h"
#include "ui/panel_style.h"
#include "ui/window_settings.h"

#include <QEvent>
#include <QHeaderView>
#include <QListWidget>
#include <QSettings>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

TMusicPage::TMusicPage(TLibraryTables& tables, QWidget* parent) : QWidget(parent), m_tables(tables)
{
    setObjectName("MusicPage");
    setAttribute(Qt::WA_StyledBackground, true);
    MusicSplitPanel = new QSplitter(Qt::Horizontal, this);
    MusicSplitPanel->setObjectName("MusicSplitPanel");
    PlayList = new QListWidget;
    PlayList->setObjectName("PlayList");
    PlayList->setContextMenuPolicy(Qt::CustomContextMenu);
    SongGrid = new QTableWidget(0, 2);
    SongGrid->setObjectName("SongGrid");
    SongGrid->setHorizontalHeaderLabels({QStringLiteral("Music"), QStringLiteral("Scheme")});
    SongGrid->verticalHeader()->hide();
    SongGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    SongGrid->installEventFilter(this);
    MusicSplitPanel->addWidget(PlayList);
    MusicSplitPanel->addWidget(SongGrid);
    Column(this)->addWidget(MusicSplitPanel);
}

void TMusicPage::FillFromTable()
{
    TTable& table = *m_tables.tblPlayList;
    for (table.First(); !table.Eof(); table.Next()) {
        auto* item = new QListWidgetItem(QString::fromStdString(table.FieldByName("Name").AsString()));
        item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(table.GetBookmark().RecordNo));
        PlayList->addItem(item);
    }
}

bool TMusicPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SongGrid && event->type() == QEvent::Resize)
        SongPaneResize();
    return QWidget::eventFilter(watched, event);
}

void TMusicPage::SongPaneResize()
{
    SongGrid->setColumnWidth(0, std::max(0, SongGrid->width() - 100));
    SongGrid->setColumnWidth(1, 80);
}

bool TMusicPage::PlayListSelected() const
{
    return !PlayList->selectedItems().isEmpty();
}

bool TMusicPage::SongsAvailable() const
{
    return m_tables.tblSongs->Active() && !m_tables.tblSongs->IsEmpty();
}

void TMusicPage::UpdateEnabled()
{
    SongGrid->setEnabled(PlayListSelected());
}

void TMusicPage::RestoreSettings(QSettings& settings)
{
    RestoreSplitterPosition(MusicSplitPanel, settings, "MusicSplitPanel", 282);
}

void TMusicPage::SaveSettings(QSettings& settings) const
{
    SaveSplitterPosition(MusicSplitPanel, settings, "MusicSplitPanel");
}
