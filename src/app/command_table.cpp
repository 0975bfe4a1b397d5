// The window's commands and menus, as data: one row per command with the
// panel handler it runs and the rule that enables it, and each menu as a
// list of command names.
#include "app/command_map.h"
#include "app/listening_options.h"
#include "app/frm_main.h"
#include "audio/sound_services.h"
#include "catalog/catalog_panel.h"
#include "catalog/sound_tree.h"
#include "music_page/music_page.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "ui/error_guard.h"
#include "ui/panel_style.h"

#include <QAction>
#include <QListWidget>
#include <QTableWidget>
#include <QMenu>
#include <QMenuBar>

void TfrmMain::BuildCommands()
{
    m_commands = new TCommandMap(this, m_prompts);
    TSchemeListPanel* list = m_schemeList;
    TSchemePanel* scheme = m_schemePanel;
    TCatalogPanel* catalog = m_catalog;
    TMusicPage* music = m_musicPage;
    auto schemeSelected = [list] { return list->SchemeListCheck(); };
    auto highlighted = [scheme] { return scheme->HighlightedAvailable(); };
    auto sampleSelected = [catalog] { return catalog->SampleSelected(); };
    auto categorySelected = [catalog] { return catalog->CategorySelected(); };

    const TCommand commands[] = {
        {"NewScheme", "Scheme", "New", {}, [list] { list->NewSchemeExecute(); }},
        {"RenameScheme", "Scheme", "Rename", {}, [list] { list->RenameSchemeExecute(); }, schemeSelected},
        {"DeleteScheme", "Scheme", "Delete", {}, [list] { list->DeleteSchemeExecute(); }, schemeSelected},
        {"ExportAmbitone", "Scheme", "Export...", "Export|Export the selected Ambitone.",
         [this] { ExportAmbitoneExecute(); }, schemeSelected},
        {"ImportAmbitone", "Scheme", "Import...", "Import|Import a Ambitone.", [this] { ImportAmbitoneExecute(); }},
        {"UseSample", "Samples", "Use Sample", "|Place selected sample into the current ambitone.",
         [=] { scheme->UseSampleExecute(catalog->SelectedSampleBookmark()); },
         [=] { return sampleSelected() && schemeSelected(); }},
        {"RemoveSample", "Scheme", "Remove", {}, [scheme] { scheme->RemoveSampleExecute(); }, highlighted},
        {"ClearAllSchemeSamples", "Scheme", "Clear", {}, [scheme] { scheme->ClearAllSchemeSamplesExecute(); },
         [scheme] { return scheme->RowCount() > 0; }},
        {"MuteSchemeSample", "Scheme", "Mute", {}, {}, highlighted, true},  // its handler takes the check mark
        {"SoloSchemeSample", "Scheme", "Solo", {}, [scheme] { scheme->SoloSchemeSampleExecute(); }, highlighted},
        {"UnmuteAllSchemeSample", "Scheme", "Unmute All", {}, [scheme] { scheme->UnmuteAllSchemeSampleExecute(); }},
        {"RandomizeSample", "Scheme", "Randomize", {}, [scheme] { scheme->RandomizeSampleExecute(); },
         [this, scheme] { return scheme->RandomizeSampleUpdate(m_commands->Action("RandomizeSample")); }, true},
        {"RepeatOnPlay", "Location", "Repeat on Play", {}, [scheme] { scheme->RepeatOnPlayExecute(); }, highlighted},
        {"SetSoundPattern", "Location", "Pattern", "Set sound pattern", [scheme] { scheme->SetSoundPatternExecute(); },
         highlighted},
        {"RenderToFile", "Scheme", "Render to File...",
         "Render|Mix the open scheme to a WAV, FLAC or Ogg Vorbis file.", [this] { RenderToFileExecute(); },
         [list] { return list->OpenSchemeIndex() >= 0; }},
        {"PlayScheme", "Scheme", "Play", {}, [scheme] { scheme->PlaySchemeExecute(); }, {}, true},
        {"StopScheme", "Scheme", "Stop", {}, [scheme] { scheme->StopSchemeExecute(); }},
        {"PlaySchemeSample", "Scheme", "Play Sample", {}, [scheme] { scheme->PlaySchemeSampleExecute(); }, highlighted},
        {"SampleFixEndingPop", "Scheme", "Fix Ending Pop", "Remove the pop from the end of a sound sample.",
         [this, scheme] { scheme->SampleFixEndingPopExecute(m_sound->RepairChannel()); },
         [scheme] { return scheme->SampleFixEndingPopUpdate(); }},
        {"FixEndingPop", "Samples", "Fix Ending Pop", "|Edit the sample, and remove any ending pops.",
         [catalog] { catalog->FixEndingPopExecute(); }, sampleSelected},
        {"NewCategory", "Samples", "New", "New Category|Create a new sample category.",
         [catalog] { catalog->NewCategoryExecute(0); }},
        {"NewSubCategory", "Samples", "New Sub", "New Subcategory|Create a new sample sub-category.",
         [catalog] { catalog->NewCategoryExecute(1); }, [catalog] { return catalog->SubCategoryAllowed(); }},
        {"RemoveCategory", "Samples", "Remove", {}, [catalog] { catalog->RemoveCategoryExecute(); }, categorySelected},
        {"ImportSamples", "Samples", "Import Samples...", "|Import sounds into the sample catalog.",
         [catalog] { catalog->ImportSamplesExecute(); }},
        {"PlaySample", "Samples", "Play Sample", "Play|Play the selected sound sample.",
         [catalog] { catalog->PlaySampleExecute(); }, sampleSelected},
        {"DeleteSample", "Samples", "Delete", "|Remove the selected sample from the sound catalog.",
         [catalog] { catalog->DeleteSampleExecute(); }, sampleSelected},
        {"ExportSample", "Samples", "Export Sample...", "Export|Export the selected sound sample to a Windows sound file.",
         [catalog] { catalog->ExportSampleExecute(); }, sampleSelected},
        {"ImportCategory", "Samples", "Import...", "Import Category|Import a Ambitone category.",
         [catalog] { catalog->ImportCategoryExecute(); }},
        {"ExportCategory", "Samples", "Export...", "Export Category|Export the selected Ambitone category.",
         [catalog] { catalog->ExportCategoryExecute(); }, categorySelected},
        {"NewPlayList", "Playlist", "New", {}, [music] { music->NewPlayListExecute(); }},
        {"RemovePlayList", "Playlist", "Remove", {}, {}, [] { return false; }}, // play lists stay
        {"InsertNewSong", "Playlist", "New", {}, [music] { music->InsertNewSongExecute(); },
         [music] { return music->PlayListSelected(); }},
        {"RemoveSong", "Playlist", "Delete", {}, [music] { music->RemoveSongExecute(); },
         [music] { return music->PlayListSelected(); }},
        {"PlaySongSample", "Playlist", "Play", {}, [music] { music->PlaySongSampleExecute(); },
         [music] { return music->PlaySongSampleUpdate(); }},
        {"StopSongSample", "Playlist", "Stop", {}, [music] { music->StopSongSampleExecute(); },
         [music] { return music->StopSongSampleUpdate(); }},
        {"Headphones", "Options", "Headphones (3D audio)",
         "|Render the scene for headphones: sounds behind, above and beside you are heard there.",
         [this] { m_listening->SetHeadphones(m_commands->Action("Headphones")->isChecked()); },
         [this] { return m_listening->UpdateHeadphones(m_commands->Action("Headphones")); }, true},
        {"Sleep0", "Options", "Off", "|Play on until stopped.", [this] { SetSleepTimer(0); }, {}, true},
        {"Sleep15", "Options", "15 Minutes", "|Fade out and stop in 15 minutes.", [this] { SetSleepTimer(15); }, {},
         true},
        {"Sleep30", "Options", "30 Minutes", "|Fade out and stop in 30 minutes.", [this] { SetSleepTimer(30); }, {},
         true},
        {"Sleep45", "Options", "45 Minutes", "|Fade out and stop in 45 minutes.", [this] { SetSleepTimer(45); }, {},
         true},
        {"Sleep60", "Options", "60 Minutes", "|Fade out and stop in an hour.", [this] { SetSleepTimer(60); }, {},
         true},
        {"Sleep90", "Options", "90 Minutes", "|Fade out and stop in an hour and a half.",
         [this] { SetSleepTimer(90); }, {}, true},
        {"ViewAmbitone", "View", "Ambitone", "|Show the ambitones and the sample library.",
         [this] { ShowPage(0); }, {}, true},
        {"ViewMusic", "View", "Musical Environment", "|Show the music play lists.", [this] { ShowPage(1); }, {},
         true},
        {"HelpContents", "Help", "&Contents", {}, [this] { HelpContentsExecute(); }},
        {"AboutAmbitone", "Help", "About...", {}, [this] { AboutAmbitoneExecute(); }},
    };
    for (const TCommand& command : commands)
        m_commands->Add(command);
    m_commands->Add({"Exit1", "", "Exit", {}, [this] { Exit1Click(); }}, false);
    m_commands->Action("ViewAmbitone")->setChecked(true);
    m_commands->Action("Sleep0")->setChecked(true);
    m_commands->Action("NewCategory")->setProperty("tag", 0);
    m_commands->Action("NewSubCategory")->setProperty("tag", 1);
    m_commands->Action("PlayScheme")->setIcon(TransportIcon(true));
    m_commands->Action("StopScheme")->setIcon(TransportIcon(false));
    m_commands->BeforeUpdate = [this] { ActionList1Update(); };
    scheme->BindTransport(m_commands->Action("PlayScheme"), m_commands->Action("StopScheme"));
    QAction* mute = m_commands->Action("MuteSchemeSample");
    connect(mute, &QAction::triggered, this,
            [this, scheme](bool checked) { Guarded(m_prompts, [&] { scheme->MuteSchemeSampleExecute(checked); }); });
}

void TfrmMain::BuildMenus()
{
    const std::vector<TMenuLine> titles = {"NewScheme", "RenameScheme", "DeleteScheme", "-", "ExportAmbitone",
                                           "ImportAmbitone"};
    const std::vector<TMenuLine> ambitone = {
        "PlaySchemeSample", "RemoveSample", "-", "SetSoundPattern", {"Frequency", {"RandomizeSample", "RepeatOnPlay"}},
        "-", "MuteSchemeSample", "SoloSchemeSample", "UnmuteAllSchemeSample", "-", "SampleFixEndingPop", "-",
        "ClearAllSchemeSamples", "-", "RenderToFile"};
    const std::vector<TMenuLine> samples = {
        "PlaySample", "UseSample", "DeleteSample", "-",
        {"Category", {"NewCategory", "NewSubCategory", "RemoveCategory", "-", "ImportCategory", "ExportCategory"}},
        "-", "FixEndingPop", "-", "ImportSamples", "ExportSample"};
    const std::vector<TMenuLine> schemePopup = {"PlaySchemeSample", "RemoveSample", "-", "MuteSchemeSample",
                                                "SoloSchemeSample", "UnmuteAllSchemeSample", "-",
                                                "SampleFixEndingPop", "-", "ClearAllSchemeSamples"};

    QMenuBar* bar = menuBar();
    m_commands->Fill(bar->addMenu(QStringLiteral("&File")), {"Exit1"});
    m_commands->Fill(bar->addMenu(QStringLiteral("&Title")), titles);
    m_commands->Fill(bar->addMenu(QStringLiteral("&Ambitone")), ambitone);
    m_commands->Fill(bar->addMenu(QStringLiteral("&Samples")), samples);
    m_commands->Fill(bar->addMenu(QStringLiteral("&View")), {"ViewAmbitone", "ViewMusic"});
    QMenu* options = bar->addMenu(QStringLiteral("&Options"));
    options->setToolTipsVisible(true); // why Headphones cannot be had
    m_commands->Fill(options, {"Headphones"});
    options->addMenu(m_listening->DeviceMenu(options));
    options->addSeparator();
    m_commands->Fill(options,
                     {{"Stop After", {"Sleep0", "-", "Sleep15", "Sleep30", "Sleep45", "Sleep60", "Sleep90"}}});
    m_commands->Fill(bar->addMenu(QStringLiteral("&Help")), {"HelpContents", "-", "AboutAmbitone"});

    m_commands->Popup("SchemeListPopup", titles, m_schemeList->SchemeList);
    m_commands->Popup("SamplePopup", samples, m_catalog->SoundTree);
    m_commands->Popup("PlayListPopup", {"NewPlayList", "RemovePlayList"}, m_musicPage->PlayList);
    m_musicPage->BindSongCommands(m_commands->Action("PlaySongSample"), m_commands->Action("StopSongSample"),
                                  m_commands->Action("InsertNewSong"), m_commands->Action("RemoveSong"));
    m_commands->Popup("MusicPopup", {"PlaySongSample", "StopSongSample", "InsertNewSong", "RemoveSong"},
                      m_musicPage->SongGrid);
    // The rows' pop-ups hang on the rows, which come and go with the scheme.
    m_schemePanel->BindRowCommands(m_commands->Popup("SchemePopup", schemePopup, nullptr),
                                   m_commands->Popup("FreqPopup", {"RandomizeSample", "RepeatOnPlay"}, nullptr),
                                   m_commands->Action("MuteSchemeSample"), m_commands->Action("SetSoundPattern"));
}
