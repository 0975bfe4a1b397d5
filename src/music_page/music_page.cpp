#include "music_page/music_page.h"

#include "music/mpeg.h"
#include "music/music_chain.h"
#include "music_page/frm_music_dialog.h"
#include "store/edit_scope.h"
#include "store/library_tables.h"
#include "ui/error_guard.h"
#include "ui/panel_style.h"
#include "ui/prompts.h"
#include "ui/window_settings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <map>

namespace {

constexpr int SongRole = Qt::UserRole; // a grid row's song RecordNo (0: not stored yet)

TWaveOutDevice Device(bool offline)
{
    return offline ? TWaveOutDevice::Loopback : TWaveOutDevice::System;
}

QListWidgetItem* PlayListItem(const QString& name, TBookmark bookmark)
{
    auto* item = new QListWidgetItem(name);
    item->setData(Qt::UserRole, QVariant::fromValue<qlonglong>(bookmark.RecordNo));
    item->setSizeHint(QSize(0, 16));
    return item;
}

} // namespace

TMusicPage::TMusicPage(TLibraryTables& tables, IPrompts& prompts, IClock& clock, bool offline, QWidget* parent)
    : QWidget(parent), m_tables(tables), m_prompts(prompts), m_clock(clock), m_offline(offline)
{
    setObjectName("MusicPage");
    setAttribute(Qt::WA_StyledBackground, true);
    MusicSplitPanel = new QSplitter(Qt::Horizontal, this);
    MusicSplitPanel->setObjectName("MusicSplitPanel");

    PlayListPanel = BlackPanel("PlayListPanel");
    auto* lists = Column(PlayListPanel);
    lists->addWidget(PaneHeader(QStringLiteral("Play Lists"), PlayListPanel));
    PlayList = new QListWidget(PlayListPanel);
    PlayList->setObjectName("PlayList");
    PlayList->setAccessibleName(QStringLiteral("Play list"));
    PlayList->setUniformItemSizes(true);
    PlayList->setContextMenuPolicy(Qt::CustomContextMenu);
    PlayList->installEventFilter(this);
    lists->addWidget(PlayList, 1);
    SongEdit = new QLineEdit(PlayListPanel);
    SongEdit->setObjectName("SongEdit");
    SongEdit->setAccessibleName(QStringLiteral("Play list name"));
    SongEdit->setFrame(false);
    SongEdit->hide();
    SongEdit->installEventFilter(this);
    connect(PlayList, &QListWidget::itemClicked, this, [this] { Guarded(&m_prompts, [this] { PlayListClick(); }); });
    connect(PlayList, &QListWidget::itemDoubleClicked, this,
            [this] { Guarded(&m_prompts, [this] { PlayListDblClick(); }); });

    QWidget* songPane = BlackPanel("SongPane");
    auto* songs = Column(songPane);
    songs->addWidget(PaneHeader(QStringLiteral("Songs"), songPane));
    SongGrid = new QTableWidget(0, 2, songPane);
    SongGrid->setObjectName("SongGrid");
    SongGrid->setAccessibleName(QStringLiteral("Songs"));
    SongGrid->setHorizontalHeaderLabels({QStringLiteral("Music"), QStringLiteral("Scheme")});
    SongGrid->verticalHeader()->hide();
    SongGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    SongGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    SongGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SongGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    SongGrid->installEventFilter(this);
    SongGrid->setStyleSheet(QStringLiteral(
        "QComboBox { background: black; color: lime; border: 1px solid #1f5f1f; padding: 0 4px; }"
        "QComboBox QAbstractItemView { background: black; color: lime; selection-background-color: #006000; }"
        "QToolButton { color: lime; background: #101010; border: 1px solid #1f5f1f; }"));
    connect(SongGrid, &QTableWidget::cellClicked, this,
            [this](int row, int column) { Guarded(&m_prompts, [&] { SongGridCellClick(row, column); }); });
    songs->addWidget(SongGrid, 1);
    lblNoDecoder = new QLabel(songPane);
    lblNoDecoder->setObjectName("lblNoDecoder");
    lblNoDecoder->setWordWrap(true);
    lblNoDecoder->hide();
    songs->addWidget(lblNoDecoder);
    auto* bar = new QHBoxLayout;
    SongTools = new QToolBar(songPane);
    SongTools->setObjectName("SongTools");
    SongTools->setAccessibleName(QStringLiteral("Song tools"));
    SongTools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addWidget(SongTools);
    bar->addStretch(1);
    CheckBox1 = new QCheckBox(QStringLiteral("Fade between songs"), songPane);
    CheckBox1->setObjectName("CheckBox1");
    bar->addWidget(CheckBox1);
    songs->addLayout(bar);

    MusicSplitPanel->addWidget(PlayListPanel);
    MusicSplitPanel->addWidget(songPane);
    Column(this)->addWidget(MusicSplitPanel);

    // The song player: without the decoder library the page says so and
    // its Play stays disabled; everything else works.
    try {
        m_chain = std::make_unique<TMusicChain>(m_clock, Device(m_offline), 2048, 10);
    } catch (const EMMMpegError&) {
        lblNoDecoder->setText(QStringLiteral("Playing songs needs the MPEG decoder library (libmpg123), which "
                                             "could not be loaded. Install it to hear your play lists."));
        lblNoDecoder->show();
    }
}

TMusicPage::~TMusicPage() = default;

void TMusicPage::BindSongCommands(QAction* play, QAction* stop, QAction* insert, QAction* remove)
{
    for (QAction* action : {play, stop, insert, remove})
        SongTools->addAction(action);
}

void TMusicPage::FillFromTable()
{
    PlayList->clear();
    TTable& table = *m_tables.tblPlayList;
    const int name = table.ColumnIndex("Name");
    table.ForEachRow(
        [&](const TRowView& row) { PlayList->addItem(PlayListItem(QString::fromUtf8(row.Text(name)), row.Bookmark())); });
}

// ----- play lists

void TMusicPage::NewPlayListExecute()
{
    TTable& table = *m_tables.tblPlayList;
    {
        TEditScope append(table, TEditScope::Append);
        m_tables.tblPlayListName->SetAsString("New Play List");
        append.Post();
    }
    QListWidgetItem* item = PlayListItem(QString::fromStdString(m_tables.tblPlayListName->AsString()),
                                         table.GetBookmark());
    PlayList->addItem(item);
    PlayList->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
    ShowSongs();
    PlayListDblClick();
}

void TMusicPage::PlayListClick()
{
    const QList<QListWidgetItem*> selected = PlayList->selectedItems();
    if (selected.isEmpty())
        return;
    DropPendingSong();
    m_tables.tblPlayList->GotoBookmark(TBookmark{selected.front()->data(Qt::UserRole).toLongLong()});
    ShowSongs();
}

void TMusicPage::PlayListDblClick()
{
    const QList<QListWidgetItem*> selected = PlayList->selectedItems();
    if (selected.isEmpty())
        return;
    QListWidgetItem* item = selected.front();
    const QRect rect = PlayList->visualItemRect(item);
    const int edge = PlayList->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    SongEdit->setGeometry(QRect(PlayList->viewport()->mapTo(PlayListPanel, rect.topLeft()),
                                QSize(PlayList->width() - 2 * edge, 16)));
    SongEdit->setText(item->text());
    m_renaming = true;
    SongEdit->show();
    SongEdit->raise();
    SongEdit->setFocus(Qt::OtherFocusReason);
    SongEdit->selectAll();
}

void TMusicPage::SongEditExit()
{
    if (!m_renaming)
        return;
    m_renaming = false;
    SongEdit->hide();
    const QString text = SongEdit->text();
    if (text.toStdString() == m_tables.tblPlayListName->AsString())
        return;
    {
        TEditScope edit(*m_tables.tblPlayList, TEditScope::Edit);
        m_tables.tblPlayListName->SetAsString(text.toStdString()); // the field keeps 30 characters
        edit.Post();
    }
    const QList<QListWidgetItem*> selected = PlayList->selectedItems();
    if (!selected.isEmpty())
        selected.front()->setText(text); // as typed, until the list is filled again
}

bool TMusicPage::PlayListSelected() const
{
    return !PlayList->selectedItems().isEmpty();
}

// ----- songs

void TMusicPage::ShowSongs()
{
    m_pendingSong = false;
    std::map<int64_t, QString> schemes;
    {
        TTable& table = *m_tables.tblSchemes;
        const int name = table.ColumnIndex("Name");
        table.ForEachRow(
            [&](const TRowView& row) { schemes[row.Bookmark().RecordNo] = QString::fromUtf8(row.Text(name)); });
    }
    SongGrid->setRowCount(0);
    TTable& songs = *m_tables.tblSongs;
    if (!PlayListSelected() || !songs.Active())
        return;
    const int path = songs.ColumnIndex("MusicPath"), schemeNo = songs.ColumnIndex("SchemeNo");
    struct TSong {
        int64_t RecordNo;
        QString Path;
        int64_t SchemeNo;
    };
    std::vector<TSong> rows;
    songs.ForEachRow([&](const TRowView& row) {
        rows.push_back({row.Bookmark().RecordNo, QString::fromUtf8(row.Text(path)), row.Integer(schemeNo)});
    });
    auto addRow = [&](const TSong& song) {
        const int r = SongGrid->rowCount();
        SongGrid->insertRow(r);
        // The "Music" cell shows the file's name only; its ellipsis opens
        // the Music Browser.
        auto* music = new QTableWidgetItem(song.Path.isEmpty() ? QString() : QFileInfo(song.Path).fileName());
        music->setData(SongRole, QVariant::fromValue<qlonglong>(song.RecordNo));
        music->setToolTip(song.Path);
        SongGrid->setItem(r, 0, music);
        auto* cell = new QWidget;
        auto* line = new QHBoxLayout(cell);
        line->setContentsMargins(2, 0, 0, 0);
        line->addStretch(1);
        auto* ellipsis = new QToolButton(cell);
        ellipsis->setObjectName("SongFileButton");
        ellipsis->setText(QStringLiteral("..."));
        ellipsis->setAccessibleName(QStringLiteral("Choose the song's file"));
        connect(ellipsis, &QToolButton::clicked, this, [this, ellipsis] {
            const int at = SongGrid->indexAt(ellipsis->parentWidget()->pos()).row();
            Guarded(&m_prompts, [&] { SongGridEditButtonClick(at); });
        });
        line->addWidget(ellipsis);
        SongGrid->setCellWidget(r, 0, cell);
        auto* scheme = new QComboBox;
        scheme->setObjectName("SongSchemeBox");
        scheme->setAccessibleName(QStringLiteral("Scheme of the song"));
        scheme->addItem(QString(), 0);
        for (const auto& [recordNo, name] : schemes)
            scheme->addItem(name, QVariant::fromValue<qlonglong>(recordNo));
        scheme->setCurrentIndex(std::max(0, scheme->findData(QVariant::fromValue<qlonglong>(song.SchemeNo))));
        connect(scheme, &QComboBox::activated, this, [this, scheme](int index) {
            const int at = SongGrid->indexAt(scheme->pos()).row();
            Guarded(&m_prompts, [&] { SongSchemeChosen(at, static_cast<int32_t>(scheme->itemData(index).toLongLong())); });
        });
        SongGrid->setCellWidget(r, 1, scheme);
        auto* schemeItem = new QTableWidgetItem(schemes.count(song.SchemeNo) ? schemes[song.SchemeNo] : QString());
        SongGrid->setItem(r, 1, schemeItem);
    };
    for (const TSong& song : rows)
        addRow(song);
    const TBookmark current = songs.IsEmpty() ? TBookmark{} : songs.GetBookmark();
    for (int r = 0; r < SongGrid->rowCount(); ++r)
        if (SongGrid->item(r, 0)->data(SongRole).toLongLong() == current.RecordNo)
            SongGrid->setCurrentCell(r, 0);
}

bool TMusicPage::GoToSong(int row)
{
    if (row < 0 || row >= SongGrid->rowCount())
        return false;
    const TBookmark song{SongGrid->item(row, 0)->data(SongRole).toLongLong()};
    if (!song.IsValid() || !m_tables.tblSongs->BookmarkValid(song))
        return false;
    m_tables.tblSongs->GotoBookmark(song);
    return true;
}

void TMusicPage::DropPendingSong()
{
    if (!m_pendingSong)
        return;
    m_pendingSong = false;
    SongGrid->removeRow(SongGrid->rowCount() - 1);
}

void TMusicPage::InsertNewSongExecute()
{
    if (!PlayListSelected())
        return;
    DropPendingSong();
    // A new song is stored once it has a file or a scheme; left untouched,
    // it goes when the grid is left.
    const int r = SongGrid->rowCount();
    ShowSongs();
    SongGrid->insertRow(r);
    auto* music = new QTableWidgetItem(QString());
    music->setData(SongRole, QVariant::fromValue<qlonglong>(0));
    SongGrid->setItem(r, 0, music);
    SongGrid->setItem(r, 1, new QTableWidgetItem(QString()));
    auto* ellipsis = new QToolButton;
    ellipsis->setObjectName("SongFileButton");
    ellipsis->setText(QStringLiteral("..."));
    ellipsis->setAccessibleName(QStringLiteral("Choose the song's file"));
    connect(ellipsis, &QToolButton::clicked, this,
            [this, r] { Guarded(&m_prompts, [&] { SongGridEditButtonClick(r); }); });
    SongGrid->setCellWidget(r, 0, ellipsis);
    SongGrid->setCurrentCell(r, 0);
    m_pendingSong = true;
}

void TMusicPage::SongGridEditButtonClick(int row)
{
    if (!PlayListSelected())
        return;
    TfrmMusicDialog dialog(window(), m_clock, m_prompts, Device(m_offline));
    const bool chosen = m_prompts.ExecDialog(dialog) == QDialog::Accepted;
    const QString path = dialog.SelectedFile();
    if (!chosen || path.isEmpty())
        return; // nothing chosen: the song stays as it was
    TTable& songs = *m_tables.tblSongs;
    // The row's song, or a new one when the row is new or the list empty.
    const bool existing = GoToSong(row);
    {
        TEditScope scope(songs, existing ? TEditScope::Edit : TEditScope::Append);
        m_tables.tblSongsMusicPath->SetAsString(path.toStdString());
        scope.Post();
    }
    ShowSongs();
}

void TMusicPage::SongSchemeChosen(int row, int32_t schemeNo)
{
    TTable& songs = *m_tables.tblSongs;
    const bool existing = GoToSong(row);
    {
        TEditScope scope(songs, existing ? TEditScope::Edit : TEditScope::Append);
        if (schemeNo > 0)
            m_tables.tblSongsSchemeNo->SetAsInteger(schemeNo);
        else
            m_tables.tblSongsSchemeNo->Clear();
        scope.Post();
    }
    ShowSongs();
}

void TMusicPage::RemoveSongExecute()
{
    const int row = SongGrid->currentRow();
    if (row < 0)
        return;
    if (!GoToSong(row)) {
        DropPendingSong();
        return;
    }
    if (!m_prompts.Confirm(QStringLiteral("Remove song from play list?")))
        return;
    m_tables.tblSongs->Delete();
    ShowSongs();
}

void TMusicPage::SongGridCellClick(int row, int column)
{
    // Leaving a new song untouched for another row drops it.
    if (m_pendingSong && row != SongGrid->rowCount() - 1)
        DropPendingSong();
    if (column < 0 || column >= SongGrid->columnCount())
        return;
    for (int r = 0; r < SongGrid->rowCount(); ++r)
        if (QTableWidgetItem* item = SongGrid->item(r, column))
            item->setBackground(palette().color(QPalette::Base));
    GoToSong(row);
}

// ----- playing

bool TMusicPage::SongsAvailable() const
{
    return m_tables.tblSongs->Active() && PlayListSelected() && !m_tables.tblSongs->IsEmpty();
}

bool TMusicPage::PlaySongSampleUpdate() const
{
    return m_chain && SongsAvailable();
}

bool TMusicPage::StopSongSampleUpdate() const
{
    return m_chain && m_chain->Playing();
}

void TMusicPage::PlaySongSampleExecute()
{
    if (!m_chain)
        return;
    GoToSong(SongGrid->currentRow());
    m_chain->PlaySong(m_tables.tblSongsMusicPath->AsString());
}

void TMusicPage::StopSongSampleExecute()
{
    if (m_chain)
        m_chain->Stop();
}

// ----- the page

bool TMusicPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SongGrid && event->type() == QEvent::Resize) {
        SongPaneResize();
    } else if (watched == SongGrid && event->type() == QEvent::FocusOut && m_pendingSong &&
               !SongGrid->isAncestorOf(QApplication::focusWidget())) {
        DropPendingSong(); // an untouched new song goes when the grid is left
    } else if (watched == SongEdit) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                Guarded(&m_prompts, [this] { SongEditExit(); });
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            Guarded(&m_prompts, [this] { SongEditExit(); });
        }
    } else if (watched == PlayList && event->type() == QEvent::KeyPress) {
        // Any key re-reads the selection, as a click does.
        QMetaObject::invokeMethod(this, [this] { Guarded(&m_prompts, [this] { PlayListClick(); }); },
                                  Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void TMusicPage::SongPaneResize()
{
    SongGrid->setColumnWidth(0, std::max(0, SongGrid->width() - 100));
    SongGrid->setColumnWidth(1, 80);
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
