// The rows of the open scheme: building them from SchemeData, writing them
// back, placing a catalogue sample into the scheme, taking rows out, and
// what the user does on a row (selecting it, moving its slider, muting).
#include "scheme/scheme_panel.h"

#include "audio/wave.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"
#include "scheme/location_graph.h"
#include "scheme/row_dialogs.h"
#include "scheme/sample_slot.h"
#include "scheme/scheme_list_panel.h"
#include "store/database.h"
#include "store/edit_scope.h"
#include "store/library_tables.h"
#include "ui/error_guard.h"
#include "ui/hourglass.h"
#include "ui/prompts.h"
#include "ui/widgets/drawn_tab_bar.h"
#include "ui/widgets/led_number.h"
#include "ui/widgets/level_meter.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Hides the row containers for as long as a load runs, and puts them back
// however the load ends.
class TLoadingView {
public:
    explicit TLoadingView(TSchemePanel& panel) : m_panel(panel)
    {
        m_panel.FreqScroll->hide();
        m_panel.HidePanel->hide();
        m_panel.FreqScroll->verticalScrollBar()->setEnabled(false);
        m_panel.LocationScroll->verticalScrollBar()->setEnabled(false);
    }
    ~TLoadingView()
    {
        m_panel.HidePanel->show();
        m_panel.FreqScroll->show();
        m_panel.FreqScroll->verticalScrollBar()->setEnabled(true);
        m_panel.LocationScroll->verticalScrollBar()->setEnabled(true);
    }
    TLoadingView(const TLoadingView&) = delete;
    TLoadingView& operator=(const TLoadingView&) = delete;

private:
    TSchemePanel& m_panel;
    THourglass m_hourglass;
};

// No repainting of the rows' containers while many controls go at once, so
// that none of them is laid out or drawn on its way.
class TRowsHidden {
public:
    explicit TRowsHidden(TSchemePanel& panel) : m_panel(panel)
    {
        m_panel.FreqScroll->setUpdatesEnabled(false);
        m_panel.HidePanel->setUpdatesEnabled(false);
    }
    ~TRowsHidden()
    {
        m_panel.HidePanel->setUpdatesEnabled(true);
        m_panel.FreqScroll->setUpdatesEnabled(true);
    }
    TRowsHidden(const TRowsHidden&) = delete;
    TRowsHidden& operator=(const TRowsHidden&) = delete;

private:
    TSchemePanel& m_panel;
};

// Hides the rows' scroll bars while a row is added.
class TQuietScrollBars {
public:
    explicit TQuietScrollBars(TSchemePanel& panel) : m_panel(panel)
    {
        m_panel.FreqScroll->verticalScrollBar()->setEnabled(false);
        m_panel.LocationScroll->verticalScrollBar()->setEnabled(false);
    }
    ~TQuietScrollBars()
    {
        m_panel.FreqScroll->verticalScrollBar()->setEnabled(true);
        m_panel.LocationScroll->verticalScrollBar()->setEnabled(true);
    }
    TQuietScrollBars(const TQuietScrollBars&) = delete;
    TQuietScrollBars& operator=(const TQuietScrollBars&) = delete;

private:
    TSchemePanel& m_panel;
};

} // namespace

void TSchemePanel::LoadScheme()
{
    const TBookmark scheme = m_schemeList.SelectedSchemeBookmark();
    if (!scheme.IsValid())
        return;
    TLoadingView view(*this);
    UnloadScheme();
    TTable& schemeData = *m_tables.tblData;
    TTable& sounds = *m_tables.tblSounds;
    m_tables.tblSchemes->GotoBookmark(scheme);
    schemeData.SetFilter("SchemeNo = " + std::to_string(m_tables.tblSchemesRecordNo->AsInteger()));

    // The scheme's rows are read first, so that deleting one whose sound is
    // gone cannot move the walk.
    std::vector<std::pair<TBookmark, TBookmark>> rows;
    const int soundNo = schemeData.ColumnIndex("SoundNo");
    schemeData.ForEachRow([&](const TRowView& row) { rows.emplace_back(row.Bookmark(), TBookmark{row.Integer(soundNo)}); });
    QStringList damaged;
    for (const auto& [dataRow, sound] : rows) {
        schemeData.GotoBookmark(dataRow);
        if (!sound.IsValid() || !sounds.BookmarkValid(sound)) {
            schemeData.Delete(); // the sound left the catalogue: so does its use here
            continue;
        }
        sounds.GotoBookmark(sound);
        // A sample the wave loader refuses is left out, and the rest of the
        // scheme still opens; the user hears of it once.
        try {
            BuildSampleRow(RowCount());
        } catch (const EMMWaveError& e) {
            damaged << QStringLiteral("%1: %2").arg(QString::fromStdString(m_tables.tblSoundsName->AsString()),
                                                     QString::fromUtf8(e.what()));
        }
    }
    Graph->update();
    if (!damaged.isEmpty())
        m_prompts.ShowMessage(QStringLiteral("These samples of the ambitone could not be loaded and were left out:\n\n") +
                              damaged.join(QLatin1Char('\n')));
}

void TSchemePanel::BuildSampleRow(int i)
{
    TSchemeRow& row = m_session.AddRow(*m_tables.tblData, *m_tables.tblSounds);
    const QString name = QString::fromStdString(m_tables.tblSoundsName->AsString());
    // The controls of a scheme just left are taken first: a scheme opened
    // after another makes no controls for as many rows as that one had.
    std::unique_ptr<TSampleSlot> slot;
    if (!m_spareSlots.empty()) {
        slot = std::move(m_spareSlots.back());
        m_spareSlots.pop_back();
    } else {
        slot = BuildSampleSlot(RowsContainer(), m_clock);
        ConnectRow(*slot);
    }
    BindSampleSlot(*slot, row, name);
    slot->SoundBookmark = m_tables.tblSounds->GetBookmark();
    QWidget* labels = NoteBook->currentIndex() == 1 ? LocationScroll->widget() : RowsContainer();
    if (slot->NameLabel->parentWidget() != labels)
        slot->NameLabel->setParent(labels);
    auto* item = new QListWidgetItem(name);
    PropList->insertItem(i, item);
    m_slots.insert(m_slots.begin() + i, std::move(slot));
    LayoutRows(i); // the rows above stay where they are
    for (QWidget* control : {static_cast<QWidget*>(Slot(i).FreqSlider), static_cast<QWidget*>(Slot(i).NameLabel),
                             static_cast<QWidget*>(Slot(i).LevelMeter), static_cast<QWidget*>(Slot(i).EndIcon)})
        control->show();
    ShowSampleSlot(Slot(i)); // the period shows only inside the loop
}

void TSchemePanel::ParkRows()
{
    // Last row first, so that the next scheme's first row takes the
    // controls already in the first row's place.
    for (auto slot = m_slots.rbegin(); slot != m_slots.rend(); ++slot) {
        UnbindSampleSlot(**slot);
        m_spareSlots.push_back(std::move(*slot));
    }
    m_slots.clear();
    if (!m_spareSlots.empty() && !m_hideSparesPosted) {
        m_hideSparesPosted = true;
        QTimer::singleShot(0, this, [this] { HideSpareSlots(); });
    }
}

void TSchemePanel::HideSpareSlots()
{
    m_hideSparesPosted = false;
    TRowsHidden hidden(*this);
    for (const std::unique_ptr<TSampleSlot>& slot : m_spareSlots)
        for (QWidget* control : {static_cast<QWidget*>(slot->FreqSlider), static_cast<QWidget*>(slot->NameLabel),
                                 static_cast<QWidget*>(slot->LevelMeter), static_cast<QWidget*>(slot->PeriodDisplay),
                                 static_cast<QWidget*>(slot->EndIcon)})
            control->hide();
    // Kept for the schemes to come, within reason.
    if (m_spareSlots.size() > MaxSpareSlots)
        m_spareSlots.erase(m_spareSlots.begin(), m_spareSlots.end() - MaxSpareSlots);
}

void TSchemePanel::ConnectRow(TSampleSlot& slot)
{
    TSampleSlot* s = &slot;
    slot.NameLabel->installEventFilter(this);
    slot.FreqSlider->installEventFilter(this);
    connect(slot.FreqSlider, &QSlider::valueChanged, this, [this, s](int position) {
        if (!s->Row)
            return; // a spare slot, showing no row
        Guarded(&m_prompts, [&] {
            const int row = s->FreqSlider->property("tag").toInt();
            s->Row->Record().SliderPosition = position;
            if (Scheduler().PlayButtonDown())
                Scheduler().SliderMovedWhilePlaying(row);
            UpdatePeriodDisplay(row);
        });
    });
    // No hint over the slider while its thumb is dragged.
    connect(slot.FreqSlider, &QSlider::sliderPressed, this, [s] {
        s->FreqSlider->setProperty("draggedHint", s->FreqSlider->toolTip());
        s->FreqSlider->setToolTip(QString());
    });
    connect(slot.FreqSlider, &QSlider::sliderReleased, this,
            [s] { s->FreqSlider->setToolTip(s->FreqSlider->property("draggedHint").toString()); });
    connect(slot.NameLabel, &QWidget::customContextMenuRequested, this, [this, s](const QPoint& at) {
        if (!s->Row)
            return;
        Guarded(&m_prompts, [&] { SchemePopupPopup(); });
        if (m_schemePopup)
            m_schemePopup->popup(s->NameLabel->mapToGlobal(at));
    });
    connect(slot.FreqSlider, &QWidget::customContextMenuRequested, this, [this, s](const QPoint& at) {
        if (s->Row && m_freqPopup)
            m_freqPopup->popup(s->FreqSlider->mapToGlobal(at));
    });
}

bool TSchemePanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == RowsContainer() && event->type() == QEvent::Resize) {
        LayoutRows();
    } else if (watched == txtEditName) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
                Guarded(&m_prompts, [this] { txtEditNameExit(); });
                return true; // Enter ends the edit and goes no further
            }
        } else if (event->type() == QEvent::FocusOut) {
            Guarded(&m_prompts, [this] { txtEditNameExit(); });
        }
    } else if (const int row = RowOfControl(watched); row < 0) {
        // Not a row's name or slider, or one of a spare slot: nothing to select.
    } else if (event->type() == QEvent::MouseButtonDblClick && watched == Slot(row).NameLabel) {
        Guarded(&m_prompts, [this] { txtEditNameDblClick(); });
        return true;
    } else if ((event->type() == QEvent::MouseButtonPress && watched == Slot(row).NameLabel) ||
               (event->type() == QEvent::FocusIn && watched == Slot(row).FreqSlider)) {
        // A click on a row's name, or the focus on its slider, selects it.
        if (row != m_selectedRow || watched == Slot(row).NameLabel)
            Guarded(&m_prompts, [&] { SelectRow(row); });
    }
    return QWidget::eventFilter(watched, event);
}

int TSchemePanel::RowOfControl(const QObject* control) const
{
    bool tagged = false;
    const int row = control->property("tag").toInt(&tagged);
    if (!tagged || row < 0 || row >= RowCount())
        return -1;
    const TSampleSlot& slot = Slot(row);
    return control == slot.NameLabel || control == slot.FreqSlider ? row : -1;
}

void TSchemePanel::LayoutRows(int from)
{
    const int width = FreqScroll->viewport()->width();
    for (int i = std::max(from, 0); i < RowCount(); ++i)
        PlaceSampleSlot(Slot(i), i, width);
    const int height = SampleRowHeight * RowCount() + 10;
    RowsContainer()->setMinimumHeight(height);
    LocationScroll->widget()->setMinimumHeight(height);
}

void TSchemePanel::UpdatePeriodDisplay(int i)
{
    if (i < 0 || i >= RowCount())
        return;
    ::UpdatePeriodDisplay(Slot(i).Row->Record(), Scheduler().LoopLength());
    ShowSampleSlot(Slot(i));
}

void TSchemePanel::SelectRow(int s)
{
    m_selectedRow = s;
    Graph->update();
    for (int i = 0; i < RowCount(); ++i) {
        ShowNameState(Slot(i).NameLabel, i == s, Slot(i).Row->Channel().Muted());
        if (i == s && NoteBook->currentIndex() == 0 && Slot(i).FreqSlider->isVisible())
            Slot(i).FreqSlider->setFocus(Qt::OtherFocusReason);
    }
}

void TSchemePanel::UseSampleExecute(TBookmark sound)
{
    if (!sound.IsValid())
        return;
    TTable& sounds = *m_tables.tblSounds;
    TTable& schemeData = *m_tables.tblData;
    sounds.GotoBookmark(sound);
    {
        TEditScope append(schemeData, TEditScope::Append);
        m_tables.tblDataSoundNo->SetAsInteger(m_tables.tblSoundsRecordNo->AsInteger());
        m_tables.tblDataSchemeNo->SetAsInteger(m_tables.tblSchemesRecordNo->AsInteger());
        m_tables.tblDataFreq->SetAsInteger(0);
        m_tables.tblDataPatternSpeed->SetAsInteger(1);
        append.Post();
    }
    TQuietScrollBars quiet(*this);
    BuildSampleRow(RowCount());
}

void TSchemePanel::RemoveSampleExecute()
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return;
    // Only an explicit Yes removes: a box closed without an answer is No.
    if (!m_prompts.Confirm(QStringLiteral("Remove \"%1\" from this ambitone?").arg(PropList->item(m_selectedRow)->text())))
        return;
    RemoveRow(m_selectedRow);
    m_selectedRow = -1;
}

void TSchemePanel::RemoveRow(int i)
{
    if (i < 0 || i >= RowCount())
        return;
    if (m_rowDialog)
        m_rowDialog->close();
    // The stored row goes first: should the store refuse, the row stays
    // whole on screen and in the session.
    m_tables.tblData->GotoBookmark(Slot(i).DataBookmark);
    m_tables.tblData->Delete();
    std::unique_ptr<TSampleSlot> slot = std::move(m_slots[static_cast<size_t>(i)]);
    m_slots.erase(m_slots.begin() + i);
    slot.reset(); // its controls and level connector
    m_session.RemoveRow(static_cast<size_t>(i));
    Graph->ForgetRings(); // the later rows move up
    delete PropList->takeItem(i);
    LayoutRows(i);
    if (m_selectedRow > i)
        --m_selectedRow;
    else if (m_selectedRow == i)
        m_selectedRow = -1;
}

void TSchemePanel::ClearAllSchemeSamplesExecute()
{
    if (!m_prompts.Confirm(QStringLiteral("Clear all samples from this ambitone?")))
        return;
    FreqScroll->hide();
    HidePanel->hide();
    struct TShowAgain {
        TSchemePanel& Panel;
        ~TShowAgain()
        {
            Panel.HidePanel->show();
            Panel.FreqScroll->show();
        }
    } showAgain{*this};
    for (int n = RowCount(); n > 0; --n)
        RemoveRow(0);
    m_selectedRow = -1;
}

void TSchemePanel::WriteRowBack(TSampleSlot& slot)
{
    const TPlaybackRow& record = slot.Row->Record();
    m_tables.tblData->GotoBookmark(slot.DataBookmark);
    TEditScope edit(*m_tables.tblData, TEditScope::Edit);
    m_tables.tblDataRepeatPatten->SetAsInteger(record.RepeatMethod);
    m_tables.tblDataRepeat->SetAsInteger(record.RepeatCount);
    m_tables.tblDataCoordZ->SetAsFloat(record.CoordZ);
    m_tables.tblDataCoordY->SetAsFloat(record.CoordY);
    m_tables.tblDataCoordX->SetAsFloat(record.CoordX);
    m_tables.tblDataRandomize->SetAsBoolean(record.Randomize);
    // Through the displayed period, so that a loop of 0 keeps the slider.
    m_tables.tblDataFreq->SetAsInteger(StoredFreq(record.PeriodDisplay, Scheduler().LoopLength(), record.SliderPosition));
    m_tables.tblDataPattern->SetAsInteger(record.Pattern);
    m_tables.tblDataPatternSpeed->SetAsInteger(record.PatternSpeed);
    m_tables.tblDataReversePattern->SetAsBoolean(record.ReversePattern);
    edit.Post();
}

void TSchemePanel::WriteBack()
{
    TTable& schemes = *m_tables.tblSchemes;
    if (!schemes.Active())
        return;
    if (m_rowDialog)
        m_rowDialog->close(); // its choices reach the record before it is stored
    // Every row is written back, changed or not, and the loop length with
    // them, in one transaction: a failure leaves the scheme as it was stored.
    try {
        TStoreTransaction transaction(m_tables.Database);
        for (std::unique_ptr<TSampleSlot>& slot : m_slots)
            WriteRowBack(*slot);
        if (!schemes.IsEmpty()) {
            TEditScope edit(schemes, TEditScope::Edit);
            m_tables.tblSchemesLoopPeriod->SetAsInteger(Scheduler().LoopLength());
            edit.Post();
        }
        transaction.Commit();
    } catch (...) {
        // The tables show again what the file holds.
        for (TTable* table : {m_tables.tblData.get(), m_tables.tblSchemes.get()}) {
            try {
                table->Refresh();
            } catch (...) {
            }
        }
        throw;
    }
}

void TSchemePanel::UnloadScheme()
{
    if (!m_tables.tblSchemes->Active())
        return;
    txtEditName->hide();
    m_renamedRow = -1;
    WriteBack(); // an open row pop-up closes first
    // The controls wait for the next scheme's rows; the session's rows go
    // with their channels, and a loop that plays goes on, as it does when
    // the open scheme is deleted.
    ParkRows();
    m_session.DropRows();
    Graph->ForgetRings();
    PropList->clear();
    m_selectedRow = -1;
    if (m_tables.tblSounds->Active()) {
        m_tables.tblSounds->Close();
        m_tables.tblSounds->Open();
    }
}

void TSchemePanel::SampleRenamed(TBookmark sound, const QString& name)
{
    for (std::unique_ptr<TSampleSlot>& slot : m_slots) {
        if (slot->SoundBookmark != sound)
            continue;
        slot->NameLabel->setProperty("caption", name);
        slot->FreqSlider->setAccessibleName(name);
    }
    LayoutRows();
}

void TSchemePanel::PlaySchemeExecute()
{
    Scheduler().Play();
}

void TSchemePanel::StopSchemeExecute()
{
    Scheduler().Stop();
}

void TSchemePanel::PlaySchemeSampleExecute()
{
    Scheduler().PlayRow(m_selectedRow);
}

void TSchemePanel::MuteSchemeSampleExecute(bool checked)
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return;
    Slot(m_selectedRow).Row->Channel().SetMuted(checked);
    SelectRow(m_selectedRow);
}

void TSchemePanel::SoloSchemeSampleExecute()
{
    for (int i = 0; i < RowCount(); ++i)
        Slot(i).Row->Channel().SetMuted(i != m_selectedRow);
    SelectRow(m_selectedRow);
}

void TSchemePanel::UnmuteAllSchemeSampleExecute()
{
    for (int i = 0; i < RowCount(); ++i)
        Slot(i).Row->Channel().SetMuted(false);
    SelectRow(m_selectedRow);
}

void TSchemePanel::SchemePopupPopup()
{
    if (m_muteAction && m_selectedRow >= 0 && m_selectedRow < RowCount())
        m_muteAction->setChecked(Slot(m_selectedRow).Row->Channel().Muted());
}

void TSchemePanel::TabSetChange(int page)
{
    QWidget* labels = page == 1 ? LocationScroll->widget() : RowsContainer();
    for (int i = 0; i < RowCount(); ++i) {
        Slot(i).NameLabel->setParent(labels);
        Slot(i).NameLabel->show();
    }
    NoteBook->setCurrentIndex(page);
    LayoutRows();
    SelectRow(m_selectedRow);
}

void TSchemePanel::BindRowCommands(QMenu* schemePopup, QMenu* freqPopup, QAction* mute, QAction* pattern)
{
    m_schemePopup = schemePopup;
    m_freqPopup = freqPopup;
    m_muteAction = mute;
    PatternButton->setDefaultAction(pattern);
}

bool TSchemePanel::RandomizeSampleUpdate(QAction* randomize) const
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return false;
    const TPlaybackRow& record = Slot(m_selectedRow).Row->Record();
    randomize->setChecked(record.Randomize);
    return record.SliderPosition > 0 && record.SliderPosition < 100;
}

void TSchemePanel::RandomizeSampleExecute()
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return;
    TPlaybackRow& record = Slot(m_selectedRow).Row->Record();
    if (record.Randomize) {
        // Back to the period the user set, which the randomized waits kept.
        record.Randomize = false;
        record.SliderPosition = StoredFreq(record.PeriodDisplay, Scheduler().LoopLength(), record.SliderPosition);
    } else {
        record.Randomize = true;
    }
    ShowSampleSlot(Slot(m_selectedRow));
}

void TSchemePanel::RepeatOnPlayExecute()
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return;
    // One pop-up at a time: each holds on to a row.
    if (m_rowDialog)
        m_rowDialog->close();
    TabSet->setCurrentIndex(0);
    TSampleSlot& slot = Slot(m_selectedRow);
    auto* dialog = new TfrmRepeatDialog(window(), slot.Row->Record());
    dialog->move(slot.FreqSlider->mapToGlobal(QPoint(0, 0)));
    m_rowDialog = dialog;
    dialog->show();
    dialog->activateWindow();
}

void TSchemePanel::SetSoundPatternExecute()
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return;
    // One pop-up at a time: each holds on to a row.
    if (m_rowDialog)
        m_rowDialog->close();
    TabSet->setCurrentIndex(1);
    auto* dialog = new TfrmSoundPattern(window(), Slot(m_selectedRow).Row->Record());
    dialog->move(Graph->mapToGlobal(QPoint(0, 0)));
    m_rowDialog = dialog;
    dialog->show();
    dialog->activateWindow();
}

void TSchemePanel::txtEditNameDblClick()
{
    if (m_selectedRow < 0 || m_selectedRow >= RowCount())
        return;
    QLabel* label = Slot(m_selectedRow).NameLabel;
    m_renamedRow = m_selectedRow;
    txtEditName->setGeometry(QRect(label->mapTo(this, QPoint(0, 0)), label->size()));
    txtEditName->setText(label->property("caption").toString());
    txtEditName->show();
    txtEditName->raise();
    txtEditName->selectAll();
    txtEditName->setFocus(Qt::OtherFocusReason);
}

void TSchemePanel::txtEditNameExit()
{
    if (m_renamedRow < 0 || !txtEditName->isVisible())
        return;
    txtEditName->hide();
    TSampleSlot& slot = Slot(m_renamedRow);
    m_renamedRow = -1;
    const QString text = txtEditName->text();
    TTable& sounds = *m_tables.tblSounds;
    sounds.GotoBookmark(slot.SoundBookmark);
    if (text.toStdString() == m_tables.tblSoundsName->AsString())
        return;
    {
        TEditScope edit(sounds, TEditScope::Edit);
        m_tables.tblSoundsName->SetAsString(text.toStdString());
        edit.Post();
    }
    // Only this row shows the new name now; the scheme's other rows of the
    // same sound follow at its next load.
    slot.NameLabel->setProperty("caption", text);
    slot.FreqSlider->setAccessibleName(text);
    LayoutRows();
    emit SampleRenamedHere(slot.SoundBookmark, text);
}
