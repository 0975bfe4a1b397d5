// The command map: every action with its caption, category, hint and enabling
// rule; the main menu and the pop-up menus; the window's timers.
#include "app/frm_main.h"

#include "app/hints.h"
#include "catalog/sound_tree.h"

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

QAction* TfrmMain::AddAction(QAction*& slot, const char* name, const char* category, const QString& caption,
                             const QString& hint, std::function<bool()> enabled)
{
    slot = new QAction(caption, this);
    slot->setObjectName(name);
    slot->setProperty("category", QString::fromLatin1(category));
    if (!hint.isEmpty())
        SetHint(slot, hint);
    if (enabled)
        m_updateRules[slot] = std::move(enabled);
    m_actionList.push_back(slot);
    return slot;
}

void TfrmMain::OnAction(QAction* action, void (TfrmMain::*handler)())
{
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
}

void TfrmMain::BuildActions()
{
    auto schemeSelected = [this] { return SchemeListCheck(); };
    auto highlighted = [this] { return HighlightedAvailable(); };
    auto treeNodeIs = [this](int image) {
        QTreeWidgetItem* node = SoundTree->currentItem();
        return node && node->isSelected() && node->data(0, NodeImageRole).toInt() == image;
    };

    OnAction(AddAction(NewScheme, "NewScheme", "Scheme", "New", {}), &TfrmMain::NewSchemeExecute);
    OnAction(AddAction(RenameScheme, "RenameScheme", "Scheme", "Rename", {}, schemeSelected),
             &TfrmMain::RenameSchemeExecute);
    OnAction(AddAction(DeleteScheme, "DeleteScheme", "Scheme", "Delete", {}, schemeSelected),
             &TfrmMain::DeleteSchemeExecute);
    AddAction(ExportAmbitone, "ExportAmbitone", "Scheme", "Export...", "Export|Export the selected Ambitone.",
              schemeSelected);
    AddAction(ImportAmbitone, "ImportAmbitone", "Scheme", "Import...", "Import|Import a Ambitone.");
    // A sample node of the catalogue tree carries image index 2.
    AddAction(UseSample, "UseSample", "Samples", "Use Sample", "|Place selected sample into the current ambitone.",
              [=, this] { return treeNodeIs(2) && SchemeListCheck(); });
    AddAction(RemoveSample, "RemoveSample", "Scheme", "Remove", {}, highlighted);
    AddAction(ClearAllSchemeSamples, "ClearAllSchemeSamples", "Scheme", "Clear", {},
              [this] { return PropList->count() > 0; });
    AddAction(MuteSchemeSample, "MuteSchemeSample", "Scheme", "Mute", {}, highlighted);
    MuteSchemeSample->setCheckable(true);
    AddAction(SoloSchemeSample, "SoloSchemeSample", "Scheme", "Solo", {}, highlighted);
    AddAction(UnmuteAllSchemeSample, "UnmuteAllSchemeSample", "Scheme", "Unmute All", {});
    // Randomize needs a selected row whose slider is strictly inside its range;
    // the rows panel refines the rule when it exists.
    AddAction(RandomizeSample, "RandomizeSample", "Scheme", "Randomize", {}, highlighted);
    AddAction(RepeatOnPlay, "RepeatOnPlay", "Location", "Repeat on Play", {}, highlighted);
    AddAction(SetSoundPattern, "SetSoundPattern", "Location", "Pattern", "Set sound pattern", highlighted);
    AddAction(PlayScheme, "PlayScheme", "Scheme", "Play", {});
    PlayScheme->setCheckable(true);
    PlayScheme->setIcon(TransportIcon(true));
    AddAction(StopScheme, "StopScheme", "Scheme", "Stop", {});
    StopScheme->setIcon(TransportIcon(false));
    AddAction(PlaySchemeSample, "PlaySchemeSample", "Scheme", "Play Sample", {}, highlighted);
    AddAction(SampleFixEndingPop, "SampleFixEndingPop", "Scheme", "Fix Ending Pop",
              "Remove the pop from the end of a sound sample.",
              [this] { return !PlaySchemeButton->isChecked() && SelectedRow != -1; });
    AddAction(FixEndingPop, "FixEndingPop", "Samples", "Fix Ending Pop",
              "|Edit the sample, and remove any ending pops.", [=] { return treeNodeIs(2); });
    AddAction(NewCategory, "NewCategory", "Samples", "New", "New Category|Create a new sample category.");
    NewCategory->setProperty("tag", 0);
    AddAction(NewSubCategory, "NewSubCategory", "Samples", "New Sub",
              "New Subcategory|Create a new sample sub-category.", [this] {
                  QTreeWidgetItem* node = SoundTree->currentItem();
                  if (!node || !node->isSelected() || !node->data(0, NodeDataRole).isValid())
                      return false;
                  int image = node->data(0, NodeImageRole).toInt();
                  return image != 2 || (node->parent() && node->parent()->data(0, NodeDataRole).isValid());
              });
    NewSubCategory->setProperty("tag", 1);
    auto categorySelected = [this] {
        QTreeWidgetItem* node = SoundTree->currentItem();
        if (!node || !node->isSelected() || node == SoundTree->topLevelItem(0))
            return false;
        int image = node->data(0, NodeImageRole).toInt();
        return image == 3 || image == 4;
    };
    AddAction(RemoveCategory, "RemoveCategory", "Samples", "Remove", {}, categorySelected);
    AddAction(ImportSamples, "ImportSamples", "Samples", "Import Samples...",
              "|Import sounds into the sample catalog.");
    AddAction(PlaySample, "PlaySample", "Samples", "Play Sample", "Play|Play the selected sound sample.",
              [=] { return treeNodeIs(2); });
    AddAction(DeleteSample, "DeleteSample", "Samples", "Delete", "|Remove the selected sample from the sound catalog.",
              [=] { return treeNodeIs(2); });
    AddAction(ExportSample, "ExportSample", "Samples", "Export Sample...",
              "Export|Export the selected sound sample to a Windows sound file.", [=] { return treeNodeIs(2); });
    AddAction(ImportCategory, "ImportCategory", "Samples", "Import...", "Import Category|Import a Ambitone category.");
    AddAction(ExportCategory, "ExportCategory", "Samples", "Export...",
              "Export Category|Export the selected Ambitone category.", categorySelected);
    AddAction(NewPlayList, "NewPlayList", "Playlist", "New", {});
    AddAction(RemovePlayList, "RemovePlayList", "Playlist", "Remove", {}); // has no handler
    AddAction(InsertNewSong, "InsertNewSong", "Playlist", "New", {});
    AddAction(RemoveSong, "RemoveSong", "Playlist", "Delete", {});
    AddAction(PlaySongSample, "PlaySongSample", "Playlist", "Play", {},
              [this] { return tblSongs->Active() && !tblSongs->IsEmpty(); });
    AddAction(StopSongSample, "StopSongSample", "Playlist", "Stop", {}, [] { return false; });
    OnAction(AddAction(HelpContents, "HelpContents", "Help", "&Contents", {}), &TfrmMain::HelpContentsExecute);
    OnAction(AddAction(AboutAmbitone, "AboutAmbitone", "Help", "About...", {}), &TfrmMain::AboutAmbitoneExecute);

    for (QAction* action : {NewCategory, NewSubCategory}) {
        const int tag = action->property("tag").toInt();
        connect(action, &QAction::triggered, this, [this, tag] { NewCategoryExecute(tag); });
    }
    OnAction(RemoveCategory, &TfrmMain::RemoveCategoryExecute);
    OnAction(ImportSamples, &TfrmMain::ImportSamplesExecute);
    OnAction(PlaySample, &TfrmMain::PlaySampleExecute);
    OnAction(DeleteSample, &TfrmMain::DeleteSampleExecute);
    OnAction(ExportSample, &TfrmMain::ExportSampleExecute);

    Exit1 = new QAction(QStringLiteral("Exit"), this);
    Exit1->setObjectName("Exit1");
    connect(Exit1, &QAction::triggered, this, [this] { Exit1Click(); });

    PlaySchemeButton->setDefaultAction(PlayScheme);
    StopSchemeButton->setDefaultAction(StopScheme);
}

void TfrmMain::BuildMenus()
{
    QMenuBar* bar = menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    file->addAction(Exit1);

    QMenu* title = bar->addMenu(QStringLiteral("&Title"));
    title->addActions({NewScheme, RenameScheme, DeleteScheme});
    title->addSeparator();
    title->addActions({ExportAmbitone, ImportAmbitone});

    QMenu* ambitone = bar->addMenu(QStringLiteral("&Ambitone"));
    ambitone->addActions({PlaySchemeSample, RemoveSample});
    ambitone->addSeparator();
    ambitone->addAction(SetSoundPattern);
    QMenu* frequency = ambitone->addMenu(QStringLiteral("Frequency"));
    frequency->addActions({RandomizeSample, RepeatOnPlay});
    ambitone->addSeparator();
    ambitone->addActions({MuteSchemeSample, SoloSchemeSample, UnmuteAllSchemeSample});
    ambitone->addSeparator();
    ambitone->addAction(SampleFixEndingPop);
    ambitone->addSeparator();
    ambitone->addAction(ClearAllSchemeSamples);

    auto fillSamples = [this](QMenu* menu) {
        menu->addActions({PlaySample, UseSample, DeleteSample});
        menu->addSeparator();
        QMenu* category = menu->addMenu(QStringLiteral("Category"));
        category->addActions({NewCategory, NewSubCategory, RemoveCategory});
        category->addSeparator();
        category->addActions({ImportCategory, ExportCategory});
        menu->addSeparator();
        menu->addAction(FixEndingPop);
        menu->addSeparator();
        menu->addActions({ImportSamples, ExportSample});
    };
    fillSamples(bar->addMenu(QStringLiteral("&Samples")));

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(HelpContents);
    help->addSeparator();
    help->addAction(AboutAmbitone);

    SchemeListPopup = new QMenu(this);
    SchemeListPopup->setObjectName("SchemeListPopup");
    SchemeListPopup->addActions({NewScheme, RenameScheme, DeleteScheme});
    SchemeListPopup->addSeparator();
    SchemeListPopup->addActions({ExportAmbitone, ImportAmbitone});

    SchemePopup = new QMenu(this);
    SchemePopup->setObjectName("SchemePopup");
    SchemePopup->addActions({PlaySchemeSample, RemoveSample});
    SchemePopup->addSeparator();
    SchemePopup->addActions({MuteSchemeSample, SoloSchemeSample, UnmuteAllSchemeSample});
    SchemePopup->addSeparator();
    SchemePopup->addAction(SampleFixEndingPop);
    SchemePopup->addSeparator();
    SchemePopup->addAction(ClearAllSchemeSamples);

    FreqPopup = new QMenu(this);
    FreqPopup->setObjectName("FreqPopup");
    FreqPopup->addActions({RandomizeSample, RepeatOnPlay});

    SamplePopup = new QMenu(this);
    SamplePopup->setObjectName("SamplePopup");
    fillSamples(SamplePopup);

    PlayListPopup = new QMenu(this);
    PlayListPopup->setObjectName("PlayListPopup");
    PlayListPopup->addAction(NewPlayList);
    MusicPopup = new QMenu(this);
    MusicPopup->setObjectName("MusicPopup");
    MusicPopup->addActions({PlaySongSample, StopSongSample, InsertNewSong, RemoveSong});

    auto popupOn = [this](QWidget* widget, QMenu* menu) {
        connect(widget, &QWidget::customContextMenuRequested, this, [this, widget, menu](const QPoint& at) {
            UpdateActions();
            menu->popup(widget->mapToGlobal(at));
        });
    };
    popupOn(SchemeList, SchemeListPopup);
    popupOn(SoundTree, SamplePopup);
    popupOn(PlayList, PlayListPopup);
    popupOn(SongGrid, MusicPopup);
}

void TfrmMain::BuildTimers()
{
    auto timer = [this](QTimer*& slot, const char* name, int interval, bool on) {
        slot = new QTimer(this);
        slot->setObjectName(name);
        slot->setInterval(interval);
        if (on)
            slot->start();
    };
    timer(PlayTimer, "PlayTimer", 1000, false);
    timer(PatternTime, "PatternTime", 100, true);
    timer(ScrollTimer, "ScrollTimer", 10, false);
}

bool TfrmMain::HighlightedAvailable() const
{
    return SelectedRow >= 0;
}

void TfrmMain::ActionList1Update()
{
    PropGroup->setEnabled(SchemeListCheck());
    SongGrid->setEnabled(!PlayList->selectedItems().isEmpty());
}

void TfrmMain::UpdateActions()
{
    // Enabling runs from the idle signal too; a rule that itself processes
    // events must not re-enter it.
    if (m_updating || m_destroyed || !m_formCreated)
        return;
    m_updating = true;
    try {
        for (QAction* action : m_actionList) {
            ActionList1Update();
            auto rule = m_updateRules.find(action);
            if (rule != m_updateRules.end())
                action->setEnabled(rule->second());
        }
    } catch (...) {
        // The rules only read state; one that fails leaves its action as it
        // was rather than raising a message box at every idle moment.
    }
    m_updating = false;
}
