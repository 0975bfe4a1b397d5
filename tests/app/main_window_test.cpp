// The shell: first run, start-up from existing tables, the command map and its
// enabling rules, hints, timers, settings and the error guard.
#include "support/window_driver.h"

#include "app/command_map.h"
#include "app/help_router.h"
#include "audio/ds_channel.h"
#include "audio/ds_mixer.h"
#include "audio/mixer_errors.h"
#include "audio/sound_services.h"
#include "catalog/catalog_panel.h"
#include "playback/scheduler.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "store/database.h"
#include "store/library_tables.h"
#include "support/wave_image.h"
#include "ui/accessible.h"
#include "ui/hints.h"
#include "ui/widgets/led_number.h"
#include "ui/widgets/mixer_slider.h"
#include "ui/window_settings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <sqlite3.h>

#include <sstream>

namespace {

void AddScheme(TLibraryTables& tables, const std::string& name, int loopPeriod)
{
    tables.tblSchemes->Append();
    tables.tblSchemesName->SetAsString(name);
    tables.tblSchemesLoopPeriod->SetAsInteger(loopPeriod);
    tables.tblSchemes->Post();
}

} // namespace

using TMainWindowTest = TWindowTest;


TEST_F(TMainWindowTest, FirstRunCreatesTheDataDirectoryAndSixTables)
{
    ASSERT_FALSE(std::filesystem::exists(DataDir));
    TfrmMain& form = Open();
    EXPECT_TRUE(Prompts.Texts("error").isEmpty()) << Prompts.Texts("error").join("; ").toStdString();
    EXPECT_TRUE(std::filesystem::exists(DataDir / "Ambitone.db"));
    for (const char* table : {"Schemes", "SchemeData", "SoundCatalog", "SoundCategory", "PlayListNames",
                              "MusicPlayList"})
        EXPECT_TRUE(Tables().Database.TableExists(table)) << table;
    EXPECT_EQ(Ui().Find<QListWidget>("SchemeList")->count(), 0);
    EXPECT_EQ(Ui().Find<QListWidget>("PlayList")->count(), 0);
    EXPECT_EQ(Window->SchemeListPanel().OpenSchemeIndex(), -1);
    EXPECT_EQ(Window->SchemePanel().SelectedRow(), -1);
    EXPECT_EQ(Ui().Find<TLedNumber>("lblLoopLength")->Value(), 0);
    EXPECT_EQ(form.windowTitle(), "Ambitone");
    Ui().Update();
    EXPECT_FALSE(Ui().Find("PropGroup")->isEnabled());
    EXPECT_EQ(Tables().tblData->Filter(), "");
    EXPECT_TRUE(Tables().tblData->Filtered());
}

TEST_F(TMainWindowTest, StartUpListsSchemesInRecordOrderWithTheCursorOnTheLast)
{
    {
        Open();
        AddScheme(Tables(), "Rain", 60);
        AddScheme(Tables(), "Harbour", 180);
        AddScheme(Tables(), "Forest", 120);
        Tables().tblPlayList->Append();
        Tables().tblPlayListName->SetAsString("Evening");
        Tables().tblPlayList->Post();
        Window.reset();
    }
    Open();
    ASSERT_EQ(Ui().Find<QListWidget>("SchemeList")->count(), 3);
    EXPECT_EQ(Ui().Find<QListWidget>("SchemeList")->item(0)->text(), "Rain");
    EXPECT_EQ(Ui().Find<QListWidget>("SchemeList")->item(2)->text(), "Forest");
    EXPECT_TRUE(Ui().Find<QListWidget>("SchemeList")->selectedItems().isEmpty());
    EXPECT_EQ(Tables().tblSchemesName->AsString(), "Forest");
    EXPECT_EQ(Ui().Find<TLedNumber>("lblLoopLength")->Value(), 120);
    EXPECT_EQ(Window->SchemeListPanel().OpenSchemeIndex(), -1);
    ASSERT_EQ(Ui().Find<QListWidget>("PlayList")->count(), 1);
    EXPECT_EQ(Ui().Find<QListWidget>("PlayList")->item(0)->text(), "Evening");
    // Each item carries the bookmark of its own row.
    Tables().tblSchemes->GotoBookmark(TSchemeListPanel::ItemBookmark(Ui().Find<QListWidget>("SchemeList")->item(1)));
    EXPECT_EQ(Tables().tblSchemesName->AsString(), "Harbour");
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

    Open();
    QStringList errors = Prompts.Texts("error");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0].contains("SoundCatalog", Qt::CaseInsensitive)) << errors[0].toStdString();
    EXPECT_FALSE(Tables().Database.TableExists("SoundCatalog"));
    EXPECT_TRUE(Tables().tblSchemes->Active());
    EXPECT_TRUE(Tables().tblData->Active());
    EXPECT_FALSE(Tables().tblCategory->Active()); // the steps after the failure were skipped
}

TEST_F(TMainWindowTest, EveryActionHasItsCaptionAndCategory)
{
    Open();
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
        {"RenderToFile", "Scheme", "Render to File..."},
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
        {"Headphones", "Options", "Headphones (3D audio)"},
        {"Sleep0", "Options", "Off"},
        {"Sleep15", "Options", "15 Minutes"},
        {"Sleep30", "Options", "30 Minutes"},
        {"Sleep45", "Options", "45 Minutes"},
        {"Sleep60", "Options", "60 Minutes"},
        {"Sleep90", "Options", "90 Minutes"},
        {"ViewAmbitone", "View", "Ambitone"},
        {"ViewMusic", "View", "Musical Environment"},
        {"HelpContents", "Help", "&Contents"},
        {"AboutAmbitone", "Help", "About..."},
    };
    EXPECT_EQ(Window->Commands().Actions().size(), std::size(rows));
    for (const TRow& row : rows) {
        QAction* action = Ui().Action(row.Name);
        ASSERT_NE(action, nullptr) << row.Name;
        EXPECT_EQ(action->text(), row.Caption) << row.Name;
        EXPECT_EQ(action->property("category").toString(), row.Category) << row.Name;
    }
    EXPECT_TRUE(Ui().Action("MuteSchemeSample")->isCheckable());
    EXPECT_EQ(HintLongPart(Ui().Action("UseSample")->statusTip()), "Place selected sample into the current ambitone.");
    EXPECT_EQ(Ui().Action("ExportCategory")->toolTip(), "Export Category");
}

TEST_F(TMainWindowTest, MenusHoldTheirItemsInOrder)
{
    Open();
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().TopMenu("File")), QStringList({"Exit1"}));
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().TopMenu("Title")),
              QStringList({"NewScheme", "RenameScheme", "DeleteScheme", "-", "ExportAmbitone", "ImportAmbitone"}));
    QMenu* ambitone = Ui().TopMenu("Ambitone");
    EXPECT_EQ(TWindowDriver::MenuItems(ambitone),
              QStringList({"PlaySchemeSample", "RemoveSample", "-", "SetSoundPattern", "[Frequency]", "-",
                           "MuteSchemeSample", "SoloSchemeSample", "UnmuteAllSchemeSample", "-",
                           "SampleFixEndingPop", "-", "ClearAllSchemeSamples", "-", "RenderToFile"}));
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().SubMenu(ambitone, "Frequency")), QStringList({"RandomizeSample", "RepeatOnPlay"}));
    const QStringList samples = {"PlaySample", "UseSample",    "DeleteSample",  "-", "[Category]", "-",
                                 "FixEndingPop", "-", "ImportSamples", "ExportSample"};
    const QStringList category = {"NewCategory", "NewSubCategory", "RemoveCategory", "-", "ImportCategory",
                                  "ExportCategory"};
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().TopMenu("Samples")), samples);
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().SubMenu(Ui().TopMenu("Samples"), "Category")), category);
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().TopMenu("Options")),
              QStringList({"Headphones", "[Output Device]", "-", "[Stop After]"}));
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().TopMenu("Help")), QStringList({"HelpContents", "-", "AboutAmbitone"}));

    EXPECT_EQ(TWindowDriver::MenuItems(Ui().Popup("SchemeListPopup")),
              QStringList({"NewScheme", "RenameScheme", "DeleteScheme", "-", "ExportAmbitone", "ImportAmbitone"}));
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().Popup("SchemePopup")),
              QStringList({"PlaySchemeSample", "RemoveSample", "-", "MuteSchemeSample", "SoloSchemeSample",
                           "UnmuteAllSchemeSample", "-", "SampleFixEndingPop", "-", "ClearAllSchemeSamples"}));
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().Popup("FreqPopup")), QStringList({"RandomizeSample", "RepeatOnPlay"}));
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().Popup("SamplePopup")), samples);
    EXPECT_EQ(TWindowDriver::MenuItems(Ui().SubMenu(Ui().Popup("SamplePopup"), "Category")), category);
}

TEST_F(TMainWindowTest, EnablingFollowsTheSelection)
{
    Open();
    AddScheme(Tables(), "Rain", 60);
    for (const char* command : {"RenameScheme", "DeleteScheme", "ExportAmbitone", "RemoveSample", "PlaySchemeSample",
                                "MuteSchemeSample", "SoloSchemeSample", "RepeatOnPlay", "SetSoundPattern",
                                "ClearAllSchemeSamples", "UseSample"})
        EXPECT_FALSE(Ui().Enabled(command)) << command;
    for (const char* command : {"NewScheme", "ImportAmbitone", "HelpContents", "UnmuteAllSchemeSample",
                                "ImportSamples", "NewCategory", "ImportCategory"})
        EXPECT_TRUE(Ui().Enabled(command)) << command;
    EXPECT_FALSE(Ui().Find("PropGroup")->isEnabled());
    EXPECT_FALSE(Ui().Find("SongGrid")->isEnabled());

    ASSERT_TRUE(Ui().Trigger("NewScheme"));
    Window->SchemePanel().SelectRow(0); // a row of the open scheme is selected
    for (const char* command : {"RenameScheme", "DeleteScheme", "ExportAmbitone", "RemoveSample", "PlaySchemeSample",
                                "MuteSchemeSample", "SoloSchemeSample", "RepeatOnPlay", "SetSoundPattern"})
        EXPECT_TRUE(Ui().Enabled(command)) << command;
    EXPECT_TRUE(Ui().Find("PropGroup")->isEnabled());
    EXPECT_FALSE(Ui().Enabled("UseSample")); // no sample node selected in the tree
}

TEST_F(TMainWindowTest, HintsPutTheirLongPartInTheStatusBar)
{
    TfrmMain& form = Open();
    form.show();
    QWidget* list = Ui().Find("SchemeList");
    EXPECT_EQ(list->toolTip(), "");
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(list, &enter);
    EXPECT_EQ(form.statusBar()->currentMessage(), "Available ambitones.");
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(list, &leave);
    EXPECT_EQ(form.statusBar()->currentMessage(), "");
    // A hint without a bar goes to the status bar whole.
    QCoreApplication::sendEvent(Ui().Find("MasterVolumeSlider"), &enter);
    EXPECT_EQ(form.statusBar()->currentMessage(), "Main Volume");
    // Menu items report their hints the same way.
    Ui().Action("ExportCategory")->showStatusText(&form);
    EXPECT_EQ(form.statusBar()->currentMessage(), "Export the selected Ambitone category.");
}

TEST_F(TMainWindowTest, TimersAndPagesStartAsTheProgramNeedsThem)
{
    Open();
    // The scheduler's second and motion tick are the playback timers, on the
    // window's clock: the motion tick runs from start-up, the second only
    // while playing, once a second.
    TScheduler& scheduler = Window->SchemePanel().Scheduler();
    EXPECT_FALSE(scheduler.Playing());
    EXPECT_TRUE(scheduler.MotionRunning());
    scheduler.Play();
    Clock.Advance(999);
    EXPECT_EQ(scheduler.PlayTime(), 0);
    Clock.Advance(1);
    EXPECT_EQ(scheduler.PlayTime(), 1);
    EXPECT_EQ(Ui().Find<TLedNumber>("Play time")->Value(), 1);
    auto* scroll = Window->CatalogPanel().ScrollTimer;
    EXPECT_EQ(scroll->interval(), 10);
    EXPECT_FALSE(scroll->isActive());
    auto* pages = Ui().Find<QTabWidget>("PageControl");
    ASSERT_EQ(pages->count(), 2);
    EXPECT_EQ(pages->tabText(0), "Ambitone");
    EXPECT_EQ(pages->tabText(1), "Musical Environment");
    EXPECT_EQ(pages->currentIndex(), 0); // the View menu shows the other
    EXPECT_FALSE(pages->tabBar()->isVisible());
}

TEST_F(TMainWindowTest, PlacementAndSplittersStartAtTheirFirstRunValuesAndComeBack)
{
    {
        TfrmMain& form = Open();
        form.show();
        QCoreApplication::processEvents();
        EXPECT_EQ(form.size(), QSize(747, 585));
        EXPECT_EQ(SplitterPosition(Ui().Find<QSplitter>("MainSpit")), 502);
        EXPECT_EQ(SplitterPosition(Ui().Find<QSplitter>("SchemesSplitPanel")), 164);
        form.resize(900, 640);
        form.move(40, 30);
        QCoreApplication::processEvents();
        SetSplitterPosition(Ui().Find<QSplitter>("MainSpit"), 560);
        SetSplitterPosition(Ui().Find<QSplitter>("SchemesSplitPanel"), 200);
        SetSplitterPosition(Ui().Find<QSplitter>("MusicSplitPanel"), 300);
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
    EXPECT_EQ(SplitterPosition(Ui().Find<QSplitter>("MainSpit")), 560);
    EXPECT_EQ(SplitterPosition(Ui().Find<QSplitter>("SchemesSplitPanel")), 200);
    EXPECT_EQ(SplitterPosition(Ui().Find<QSplitter>("MusicSplitPanel")), 300);
}

TEST_F(TMainWindowTest, ExitWritesTheOpenSchemeBackAsClosingDoes)
{
    {
        TfrmMain& form = Open();
        form.show();
        ASSERT_TRUE(Ui().Trigger("NewScheme"));
        Window->SchemeListPanel().TitleEditExit();
        Window->SchemePanel().Scheduler().SetLoopLength(120); // the loop length the user set
        Ui().Action("Exit1")->trigger();
        Window.reset();
    }
    Open();
    ASSERT_EQ(Ui().Find<QListWidget>("SchemeList")->count(), 1);
    EXPECT_EQ(Tables().tblSchemesLoopPeriod->AsInteger(), 120);
}

TEST_F(TMainWindowTest, ClosingWithNoSchemesAddsNoRow)
{
    Open().show();
    CloseAndDestroy();
    Open();
    EXPECT_EQ(Tables().tblSchemes->RecordCount(), 0);
}

TEST_F(TMainWindowTest, AnErrorEscapingAnEventIsShownAndTheProgramGoesOn)
{
    TfrmMain& form = Open();
    QTimer::singleShot(0, &form, [] { throw EStoreError("disk I/O error"); });
    QCoreApplication::processEvents();
    ASSERT_EQ(Prompts.Texts("error"), QStringList({"disk I/O error"}));
    // The window still answers commands afterwards.
    ASSERT_TRUE(Ui().Trigger("NewScheme"));
    EXPECT_EQ(Ui().Find<QListWidget>("SchemeList")->count(), 1);
}

TEST_F(TMainWindowTest, F1OpensTheTopicOfTheFocusedPane)
{
    TfrmMain& form = Open();
    form.show();
    ASSERT_TRUE(Ui().Trigger("NewScheme")); // the scheme panel takes the focus only with a scheme open
    Window->SchemeListPanel().TitleEditExit();
    Ui().Update();
    QApplication::setActiveWindow(&form);
    struct TCase {
        const char* Control;
        int Context;
    };
    for (TCase c : {TCase{"SchemeList", 90}, TCase{"SoundTree", 100}, TCase{"chkCounter", 130}}) {
        QWidget* focus = Ui().Find(c.Control);
        focus->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), focus);
        form.HelpForFocus();
        ASSERT_NE(form.HelpRouter().Window(), nullptr);
        THelpRouter reference(nullptr);
        reference.ShowContext(c.Context);
        EXPECT_EQ(form.HelpRouter().CurrentTopicTitle(), reference.CurrentTopicTitle()) << c.Context;
    }
    ASSERT_TRUE(Ui().Trigger("HelpContents"));
    THelpRouter reference(nullptr);
    reference.ShowContents();
    EXPECT_EQ(form.HelpRouter().CurrentTopicTitle(), reference.CurrentTopicTitle());
    auto* topic = form.HelpRouter().Window()->findChild<QWidget*>("helpBrowser");
    ASSERT_NE(topic, nullptr);
    EXPECT_EQ(topic->accessibleName(), "Help topic");
}

TEST_F(TMainWindowTest, WithoutAnOutputMixerTheVolumeSliderRestsDisabledInTheMiddle)
{
    Open();
    EXPECT_TRUE(Prompts.Texts("error").isEmpty());
    EXPECT_FALSE(Ui().Find<TMMMixerSlider>("MasterVolumeSlider")->isEnabled());
    EXPECT_EQ(Ui().Find<TMMMixerSlider>("MasterVolumeSlider")->minimum(), 0);
    EXPECT_EQ(Ui().Find<TMMMixerSlider>("MasterVolumeSlider")->maximum(), 2);
    EXPECT_EQ(Ui().Find<TMMMixerSlider>("MasterVolumeSlider")->value(), 1);
    EXPECT_EQ(Ui().Find<TMMMixerSlider>("MasterVolumeSlider")->toolTip(), "Main Volume");
}

TEST_F(TMainWindowTest, TheWindowOwnsTheMixerWithItsSettingsAndAPreviewChannel)
{
    Open();
    TMMDSWaveMixer* mixer = Window->Sound().WaveMixer();
    ASSERT_NE(mixer, nullptr);
    EXPECT_EQ(mixer->Level(), TMMDSLevel::prNormal);
    EXPECT_EQ(mixer->SpeakerConfiguration(), TMMDSSpeakerConfig::scQuad);
    EXPECT_EQ(mixer->BitLength(), TMMBits::b16Bit);
    EXPECT_EQ(mixer->SampleRate(), 44100);
    EXPECT_EQ(mixer->Mode(), TMMMode::mMultiChannel);
    EXPECT_TRUE(mixer->Use3D());
    EXPECT_FALSE(mixer->IsOpen()); // opened by the first play
    TMMDSMixChannel* preview = Window->Sound().SampleChannel();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->Sound3D().ConeOrientation().Z(), -1);

    // A sample played on the preview channel opens the device and sounds.
    std::istringstream in(ToneWaveString(1000));
    preview->Wave().LoadFromStream(in);
    preview->Play();
    EXPECT_TRUE(mixer->IsOpen());
    EXPECT_TRUE(preview->IsPlaying());
}

TEST_F(TMainWindowTest, WithoutASoundDeviceTheWindowOpensAndSaysWhy)
{
    TMainWindowEnvironment environment = Environment();
    environment.SoundBackend = []() -> std::unique_ptr<ISoundBackend> { throw EDirectSoundError(0x88780078); };
    Window = std::make_unique<TfrmMain>(environment);
    EXPECT_EQ(Prompts.Texts("error"), QStringList({"No driver"}));
    EXPECT_EQ(Window->Sound().WaveMixer(), nullptr);
    EXPECT_TRUE(Window->Tables().tblSchemes->Active()); // the rest of the start went on
    // Schemes still open and keep their loop, with nothing to play them on.
    TWindowDriver ui(*Window);
    ASSERT_TRUE(ui.Trigger("NewScheme"));
    EXPECT_EQ(ui.Find<TLedNumber>("lblLoopLength")->Value(), 60);
}

TEST_F(TMainWindowTest, EveryReachableControlHasAnAccessibleName)
{
    TfrmMain& form = Show();
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        const bool named = !widget->objectName().isEmpty() && !widget->objectName().startsWith("qt_");
        if (IsReachableControl(widget) && named) {
            EXPECT_FALSE(widget->accessibleName().isEmpty()) << widget->objectName().toStdString();
        }
    }
    // Screen readers and automation find the main controls by these names.
    const std::pair<const char*, const char*> names[] = {
        {"Titles", "SchemeList"},
        {"Sound Sample Library", "SoundTree"},
        {"Autoplay samples", "chkPlaySample"},
        {"Show samples' timer progress", "chkCounter"},
        {"Main Volume", "MasterVolumeSlider"},
        {"Loop length", "lblLoopLength"},
        {"Play list", "PlayList"},
    };
    for (const auto& [name, object] : names) {
        QWidget* widget = Ui().FindWidget(name);
        ASSERT_NE(widget, nullptr) << name;
        EXPECT_EQ(widget->objectName(), object) << name;
    }
    EXPECT_EQ(Ui().Find("Titles")->accessibleDescription(), "Available ambitones.");
    EXPECT_EQ(Ui().Find("Autoplay samples")->accessibleDescription(),
              "Automatically play selections from the sample library when they receive focus.");
}
