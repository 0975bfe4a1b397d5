// The shell: first run, start-up from existing tables, the command map and its
// enabling rules, hints, timers, settings and the error guard.
#include "support/main_window_fixture.h"

#include "app/help_router.h"
#include "app/hints.h"
#include "app/widgets/led_number.h"
#include "app/widgets/mixer_slider.h"
#include "app/window_settings.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/mixer_errors.h"
#include "store/database.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <sqlite3.h>

#include <sstream>

namespace {

QStringList MenuItems(const QMenu* menu)
{
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            items << "-";
        else if (action->menu())
            items << "[" + action->text() + "]";
        else
            items << action->objectName();
    }
    return items;
}

QMenu* TopMenu(TfrmMain& form, const QString& title)
{
    for (QAction* action : form.menuBar()->actions())
        if (QString(action->text()).remove(u'&') == title)
            return action->menu();
    return nullptr;
}

QMenu* SubMenu(QMenu* menu, const QString& title)
{
    for (QAction* action : menu->actions())
        if (action->menu() && action->text() == title)
            return action->menu();
    return nullptr;
}

void AddScheme(TfrmMain& form, const std::string& name, int loopPeriod)
{
    form.tblSchemes->Append();
    form.tblSchemesName->SetAsString(name);
    form.tblSchemesLoopPeriod->SetAsInteger(loopPeriod);
    form.tblSchemes->Post();
}

} // namespace

using TMainWindowTest = TMainWindowFixture;

TEST_F(TMainWindowTest, FirstRunCreatesTheDataDirectoryAndSixTables)
{
    ASSERT_FALSE(std::filesystem::exists(DataDir));
    TfrmMain& form = Open();
    EXPECT_TRUE(Prompts.Texts("error").isEmpty()) << Prompts.Texts("error").join("; ").toStdString();
    EXPECT_TRUE(std::filesystem::exists(DataDir / "Ambitone.db"));
    for (const char* table : {"Schemes", "SchemeData", "SoundCatalog", "SoundCategory", "PlayListNames",
                              "MusicPlayList"})
        EXPECT_TRUE(form.Database.TableExists(table)) << table;
    EXPECT_EQ(form.SchemeList->count(), 0);
    EXPECT_EQ(form.PlayList->count(), 0);
    EXPECT_EQ(form.OpenSchemeIndex, -1);
    EXPECT_EQ(form.SelectedRow, -1);
    EXPECT_EQ(form.lblLoopLength->Value(), 0);
    EXPECT_EQ(form.windowTitle(), "Ambitone");
    form.UpdateActions();
    EXPECT_FALSE(form.PropGroup->isEnabled());
    EXPECT_EQ(form.tblData->Filter(), "");
    EXPECT_TRUE(form.tblData->Filtered());
}

TEST_F(TMainWindowTest, StartUpListsSchemesInRecordOrderWithTheCursorOnTheLast)
{
    {
        TfrmMain& form = Open();
        AddScheme(form, "Rain", 60);
        AddScheme(form, "Harbour", 180);
        AddScheme(form, "Forest", 120);
        form.tblPlayList->Append();
        form.tblPlayListName->SetAsString("Evening");
        form.tblPlayList->Post();
        Window.reset();
    }
    TfrmMain& form = Open();
    ASSERT_EQ(form.SchemeList->count(), 3);
    EXPECT_EQ(form.SchemeList->item(0)->text(), "Rain");
    EXPECT_EQ(form.SchemeList->item(2)->text(), "Forest");
    EXPECT_TRUE(form.SchemeList->selectedItems().isEmpty());
    EXPECT_EQ(form.tblSchemesName->AsString(), "Forest");
    EXPECT_EQ(form.lblLoopLength->Value(), 120);
    EXPECT_EQ(form.OpenSchemeIndex, -1);
    ASSERT_EQ(form.PlayList->count(), 1);
    EXPECT_EQ(form.PlayList->item(0)->text(), "Evening");
    // Each item carries the bookmark of its own row.
    form.tblSchemes->GotoBookmark(TfrmMain::ItemBookmark(form.SchemeList->item(1)));
    EXPECT_EQ(form.tblSchemesName->AsString(), "Harbour");
}

TEST_F(TMainWindowTest, AStartUpFailureIsShownAndTheWindowOpensWithWhatWasDone)
{
    {
        Open();
        Window.reset();
    }
    // Schemes present but another table gone: nothing is created, opening fails.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((DataDir / "Ambitone.db").string().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE soundcatalog", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    TfrmMain& form = Open();
    QStringList errors = Prompts.Texts("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("SoundCatalog", Qt::CaseInsensitive)) << errors[0].toStdString();
    EXPECT_FALSE(form.Database.TableExists("SoundCatalog"));
    EXPECT_TRUE(form.tblSchemes->Active());
    EXPECT_TRUE(form.tblData->Active());
    EXPECT_FALSE(form.tblCategory->Active()); // the steps after the failure were skipped
}

TEST_F(TMainWindowTest, EveryActionHasItsCaptionAndCategory)
{
    TfrmMain& form = Open();
    struct TRow {
        const char* Name;
        const char* Category;
        const char* Caption;
    };
    const TRow rows[] = {
        {"NewScheme", "Scheme", "New"},
        {"RenameScheme", "Scheme", "Rename"},
        {"DeleteScheme", "Scheme", "Delete"},
        {"ExportAmbitone", "Scheme", "Export..."},
        {"ImportAmbitone", "Scheme", "Import..."},
        {"UseSample", "Samples", "Use Sample"},
        {"RemoveSample", "Scheme", "Remove"},
        {"ClearAllSchemeSamples", "Scheme", "Clear"},
        {"MuteSchemeSample", "Scheme", "Mute"},
        {"SoloSchemeSample", "Scheme", "Solo"},
        {"UnmuteAllSchemeSample", "Scheme", "Unmute All"},
        {"RandomizeSample", "Scheme", "Randomize"},
        {"RepeatOnPlay", "Location", "Repeat on Play"},
        {"SetSoundPattern", "Location", "Pattern"},
        {"PlayScheme", "Scheme", "Play"},
        {"StopScheme", "Scheme", "Stop"},
        {"PlaySchemeSample", "Scheme", "Play Sample"},
        {"SampleFixEndingPop", "Scheme", "Fix Ending Pop"},
        {"FixEndingPop", "Samples", "Fix Ending Pop"},
        {"NewCategory", "Samples", "New"},
        {"NewSubCategory", "Samples", "New Sub"},
        {"RemoveCategory", "Samples", "Remove"},
        {"ImportSamples", "Samples", "Import Samples..."},
        {"PlaySample", "Samples", "Play Sample"},
        {"DeleteSample", "Samples", "Delete"},
        {"ExportSample", "Samples", "Export Sample..."},
        {"ImportCategory", "Samples", "Import..."},
        {"ExportCategory", "Samples", "Export..."},
        {"NewPlayList", "Playlist", "New"},
        {"RemovePlayList", "Playlist", "Remove"},
        {"InsertNewSong", "Playlist", "New"},
        {"RemoveSong", "Playlist", "Delete"},
        {"PlaySongSample", "Playlist", "Play"},
        {"StopSongSample", "Playlist", "Stop"},
        {"HelpContents", "Help", "&Contents"},
        {"AboutAmbitone", "Help", "About..."},
    };
    EXPECT_EQ(form.Actions().size(), std::size(rows));
    for (const TRow& row : rows) {
        QAction* action = form.ActionByName(row.Name);
        ASSERT_NE(action, nullptr) << row.Name;
        EXPECT_EQ(action->text(), row.Caption) << row.Name;
        EXPECT_EQ(action->property("category").toString(), row.Category) << row.Name;
    }
    EXPECT_TRUE(form.MuteSchemeSample->isCheckable());
    EXPECT_EQ(HintLongPart(form.UseSample->statusTip()), "Place selected sample into the current ambitone.");
    EXPECT_EQ(form.ExportCategory->toolTip(), "Export Category");
}

TEST_F(TMainWindowTest, MenusHoldTheirItemsInOrder)
{
    TfrmMain& form = Open();
    EXPECT_EQ(MenuItems(TopMenu(form, "File")), QStringList({"Exit1"}));
    EXPECT_EQ(MenuItems(TopMenu(form, "Title")),
              QStringList({"NewScheme", "RenameScheme", "DeleteScheme", "-", "ExportAmbitone", "ImportAmbitone"}));
    QMenu* ambitone = TopMenu(form, "Ambitone");
    EXPECT_EQ(MenuItems(ambitone),
              QStringList({"PlaySchemeSample", "RemoveSample", "-", "SetSoundPattern", "[Frequency]", "-",
                           "MuteSchemeSample", "SoloSchemeSample", "UnmuteAllSchemeSample", "-",
                           "SampleFixEndingPop", "-", "ClearAllSchemeSamples"}));
    EXPECT_EQ(MenuItems(SubMenu(ambitone, "Frequency")), QStringList({"RandomizeSample", "RepeatOnPlay"}));
    const QStringList samples = {"PlaySample", "UseSample",    "DeleteSample",  "-", "[Category]", "-",
                                 "FixEndingPop", "-", "ImportSamples", "ExportSample"};
    const QStringList category = {"NewCategory", "NewSubCategory", "RemoveCategory", "-", "ImportCategory",
                                  "ExportCategory"};
    EXPECT_EQ(MenuItems(TopMenu(form, "Samples")), samples);
    EXPECT_EQ(MenuItems(SubMenu(TopMenu(form, "Samples"), "Category")), category);
    EXPECT_EQ(MenuItems(TopMenu(form, "Help")), QStringList({"HelpContents", "-", "AboutAmbitone"}));

    EXPECT_EQ(MenuItems(form.SchemeListPopup),
              QStringList({"NewScheme", "RenameScheme", "DeleteScheme", "-", "ExportAmbitone", "ImportAmbitone"}));
    EXPECT_EQ(MenuItems(form.SchemePopup),
              QStringList({"PlaySchemeSample", "RemoveSample", "-", "MuteSchemeSample", "SoloSchemeSample",
                           "UnmuteAllSchemeSample", "-", "SampleFixEndingPop", "-", "ClearAllSchemeSamples"}));
    EXPECT_EQ(MenuItems(form.FreqPopup), QStringList({"RandomizeSample", "RepeatOnPlay"}));
    EXPECT_EQ(MenuItems(form.SamplePopup), samples);
    EXPECT_EQ(MenuItems(SubMenu(form.SamplePopup, "Category")), category);
}

TEST_F(TMainWindowTest, EnablingFollowsTheSelection)
{
    TfrmMain& form = Open();
    AddScheme(form, "Rain", 60);
    form.UpdateActions();
    for (QAction* action : {form.RenameScheme, form.DeleteScheme, form.ExportAmbitone, form.RemoveSample,
                            form.PlaySchemeSample, form.MuteSchemeSample, form.SoloSchemeSample,
                            form.RepeatOnPlay, form.SetSoundPattern, form.ClearAllSchemeSamples, form.UseSample})
        EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
    for (QAction* action : {form.NewScheme, form.ImportAmbitone, form.HelpContents, form.UnmuteAllSchemeSample,
                            form.ImportSamples, form.NewCategory, form.ImportCategory})
        EXPECT_TRUE(action->isEnabled()) << action->objectName().toStdString();
    EXPECT_FALSE(form.PropGroup->isEnabled());
    EXPECT_FALSE(form.SongGrid->isEnabled());

    form.NewSchemeExecute();
    form.SelectedRow = 0; // a row of the open scheme is selected
    form.UpdateActions();
    for (QAction* action : {form.RenameScheme, form.DeleteScheme, form.ExportAmbitone, form.RemoveSample,
                            form.PlaySchemeSample, form.MuteSchemeSample, form.SoloSchemeSample,
                            form.RepeatOnPlay, form.SetSoundPattern})
        EXPECT_TRUE(action->isEnabled()) << action->objectName().toStdString();
    EXPECT_TRUE(form.PropGroup->isEnabled());
    EXPECT_FALSE(form.UseSample->isEnabled()); // no sample node selected in the tree
}

TEST_F(TMainWindowTest, HintsPutTheirLongPartInTheStatusBar)
{
    TfrmMain& form = Open();
    form.show();
    EXPECT_EQ(form.SchemeList->toolTip(), "");
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(form.SchemeList, &enter);
    EXPECT_EQ(form.statusBar()->currentMessage(), "Available ambitones.");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(form.SchemeList, &leave);
    EXPECT_EQ(form.statusBar()->currentMessage(), "");
    // A hint without a bar goes to the status bar whole.
    QCoreApplication::sendEvent(form.MasterVolumeSlider, &enter);
    EXPECT_EQ(form.statusBar()->currentMessage(), "Main Volume");
    // Menu items report their hints the same way.
    form.ExportCategory->showStatusText(&form);
    EXPECT_EQ(form.statusBar()->currentMessage(), "Export the selected Ambitone category.");
}

TEST_F(TMainWindowTest, TimersAndPagesStartAsTheProgramNeedsThem)
{
    TfrmMain& form = Open();
    EXPECT_EQ(form.PlayTimer->interval(), 1000);
    EXPECT_FALSE(form.PlayTimer->isActive());
    EXPECT_EQ(form.PatternTime->interval(), 100);
    EXPECT_TRUE(form.PatternTime->isActive());
    EXPECT_EQ(form.ScrollTimer->interval(), 10);
    EXPECT_FALSE(form.ScrollTimer->isActive());
    ASSERT_EQ(form.PageControl->count(), 2);
    EXPECT_EQ(form.PageControl->tabText(0), "Ambitone");
    EXPECT_EQ(form.PageControl->tabText(1), "Musical Environment");
    EXPECT_FALSE(form.PageControl->isTabVisible(1));
}

TEST_F(TMainWindowTest, PlacementAndSplittersStartAtTheirFirstRunValuesAndComeBack)
{
    {
        TfrmMain& form = Open();
        form.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(form.size(), QSize(747, 585));
        EXPECT_EQ(SplitterPosition(form.MainSpit), 502);
        EXPECT_EQ(SplitterPosition(form.SchemesSplitPanel), 164);
        form.resize(900, 640);
        form.move(40, 30);
        QCoreApplication::processEvents();
        SetSplitterPosition(form.MainSpit, 560);
        SetSplitterPosition(form.SchemesSplitPanel, 200);
        SetSplitterPosition(form.MusicSplitPanel, 300);
        CloseAndDestroy();
    }
    EXPECT_EQ(Settings->value("MainSpit").toInt(), 560);
    EXPECT_EQ(Settings->value("SchemesSplitPanel").toInt(), 200);
    EXPECT_EQ(Settings->value("MusicSplitPanel").toInt(), 300);
    EXPECT_TRUE(Settings->value("MainForm").toString().contains("900,640"));

    TfrmMain& form = Open();
    form.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form.size(), QSize(900, 640));
    EXPECT_EQ(SplitterPosition(form.MainSpit), 560);
    EXPECT_EQ(SplitterPosition(form.SchemesSplitPanel), 200);
    EXPECT_EQ(SplitterPosition(form.MusicSplitPanel), 300);
}

TEST_F(TMainWindowTest, ExitWritesTheOpenSchemeBackAsClosingDoes)
{
    {
        TfrmMain& form = Open();
        form.show();
        form.NewSchemeExecute();
        form.TitleEditExit();
        form.lblLoopLength->SetValue(120); // the loop length the user set
        form.Exit1Click();
        Window.reset();
    }
    TfrmMain& form = Open();
    ASSERT_EQ(form.SchemeList->count(), 1);
    EXPECT_EQ(form.tblSchemesLoopPeriod->AsInteger(), 120);
}

TEST_F(TMainWindowTest, ClosingWithNoSchemesAddsNoRow)
{
    Open().show();
    CloseAndDestroy();
    TfrmMain& form = Open();
    EXPECT_EQ(form.tblSchemes->RecordCount(), 0);
}

TEST_F(TMainWindowTest, AnErrorEscapingAnEventIsShownAndTheProgramGoesOn)
{
    TfrmMain& form = Open();
    QTimer::singleShot(0, &form, [] { throw EStoreError("disk I/O error"); });
    QCoreApplication::processEvents();
    ASSERT_EQ(Prompts.Texts("error"), QStringList({"disk I/O error"}));
    // The window still answers commands afterwards.
    form.NewSchemeExecute();
    EXPECT_EQ(form.SchemeList->count(), 1);
}

TEST_F(TMainWindowTest, F1OpensTheTopicOfTheFocusedPane)
{
    TfrmMain& form = Open();
    form.show();
    form.NewSchemeExecute(); // the scheme panel takes the focus only with a scheme open
    form.TitleEditExit();
    form.UpdateActions();
    QApplication::setActiveWindow(&form);
    struct TCase {
        QWidget* Focus;
        int Context;
    };
    for (TCase c : {TCase{form.SchemeList, 90}, TCase{form.SoundTree, 100}, TCase{form.chkCounter, 130}}) {
        c.Focus->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), c.Focus);
        form.HelpForFocus();
        ASSERT_NE(form.HelpRouter->Window(), nullptr);
        EXPECT_EQ(form.HelpRouter->CurrentTopicTitle(),
                  [&] {
                      THelpRouter reference(nullptr);
                      reference.ShowContext(c.Context);
                      return reference.CurrentTopicTitle();
                  }())
            << c.Context;
    }
    form.HelpContentsExecute();
    THelpRouter reference(nullptr);
    reference.ShowContents();
    EXPECT_EQ(form.HelpRouter->CurrentTopicTitle(), reference.CurrentTopicTitle());
}

TEST_F(TMainWindowTest, WithoutAnOutputMixerTheVolumeSliderRestsDisabledInTheMiddle)
{
    TfrmMain& form = Open();
    EXPECT_TRUE(Prompts.Texts("error").isEmpty());
    EXPECT_FALSE(form.MasterVolumeSlider->isEnabled());
    EXPECT_EQ(form.MasterVolumeSlider->minimum(), 0);
    EXPECT_EQ(form.MasterVolumeSlider->maximum(), 2);
    EXPECT_EQ(form.MasterVolumeSlider->value(), 1);
    EXPECT_EQ(form.MasterVolumeSlider->toolTip(), "Main Volume");
}

TEST_F(TMainWindowTest, TheWindowOwnsTheMixerWithItsSettingsAndAPreviewChannel)
{
    TfrmMain& form = Open();
    ASSERT_NE(form.WaveMixer, nullptr);
    EXPECT_EQ(form.WaveMixer->Level(), TMMDSLevel::prNormal);
    EXPECT_EQ(form.WaveMixer->SpeakerConfiguration(), TMMDSSpeakerConfig::scQuad);
    EXPECT_EQ(form.WaveMixer->BitLength(), TMMBits::b16Bit);
    EXPECT_EQ(form.WaveMixer->SampleRate(), 44100);
    EXPECT_EQ(form.WaveMixer->Mode(), TMMMode::mMultiChannel);
    EXPECT_TRUE(form.WaveMixer->Use3D());
    EXPECT_FALSE(form.WaveMixer->IsOpen()); // opened by the first play
    ASSERT_NE(form.SampleChannel, nullptr);
    EXPECT_EQ(form.SampleChannel->Sound3D().ConeOrientation().Z(), -1);

    // A sample played on the preview channel opens the device and sounds.
    TWaveFormat format = TWaveFormat::Pcm(1, 22050, 16);
    std::string image = "RIFF";
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            image.push_back(static_cast<char>(v >> (8 * i)));
    };
    le(36 + 2000, 4);
    image += "WAVEfmt ";
    le(16, 4);
    image.append(reinterpret_cast<const char*>(format.Bytes()), 16);
    image += "data";
    le(2000, 4);
    image.append(2000, '\x10');
    std::istringstream in(image);
    form.SampleChannel->Wave().LoadFromStream(in);
    form.SampleChannel->Play();
    EXPECT_TRUE(form.WaveMixer->IsOpen());
    EXPECT_TRUE(form.SampleChannel->IsPlaying());
}

TEST_F(TMainWindowTest, WithoutASoundDeviceTheWindowOpensAndSaysWhy)
{
    TMainWindowEnvironment environment;
    environment.DataDirectory = DataDir;
    environment.Prompts = &Prompts;
    environment.Settings = Settings.get();
    environment.MixerBackend = MixerBackend;
    environment.SoundBackend = []() -> std::unique_ptr<ISoundBackend> { throw EDirectSoundError(0x88780078); };
    Window = std::make_unique<TfrmMain>(environment);
    EXPECT_EQ(Prompts.Texts("error"), QStringList({"No driver"}));
    EXPECT_EQ(Window->WaveMixer, nullptr);
    EXPECT_TRUE(Window->tblSchemes->Active()); // the rest of the start went on
}
