// The music page through the window: play lists and their rename, songs
// chosen through the Music Browser, deleting, playing on the offline device,
// the View menu, and a computer without the MPEG decoder library.
#include "support/mp3_files.h"
#include "support/window_driver.h"

#include "music/mpeg_library.h"
#include "music/music_chain.h"
#include "music_page/frm_music_dialog.h"
#include "music_page/music_page.h"
#include "store/library_tables.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTabWidget>
#include <QTest>

#include <sqlite3.h>

namespace {

class TMusicPageTest : public TWindowTest {
protected:
    TMusicPage& Page() { return Window->MusicPage(); }
    QListWidget* Lists() { return Page().PlayList; }
    int Changes() { return sqlite3_total_changes(Tables().Database.Handle()); }
    // A play list named as the user types it.
    void NewList(const QString& name)
    {
        ASSERT_TRUE(Ui().Trigger("NewPlayList"));
        Page().SongEdit->setText(name);
        QTest::keyClick(Page().SongEdit, Qt::Key_Return);
    }
    // The user's part in the Music Browser: the file chosen, then OK (or
    // Cancel when `ok` is false).
    void AnswerBrowser(const std::filesystem::path& file, bool ok = true)
    {
        Prompts.AnswerDialog([file, ok](QDialog& dialog) {
            auto& browser = static_cast<TfrmMusicDialog&>(dialog);
            browser.SetCurrentDirectory(QString::fromStdString(file.parent_path().string()));
            const auto found = browser.FileList->findItems(QString::fromStdString(file.filename().string()),
                                                           Qt::MatchExactly);
            if (!found.isEmpty()) {
                browser.FileList->setCurrentItem(found.front());
                browser.FileListClick();
            }
            return ok ? QDialog::Accepted : QDialog::Rejected;
        });
    }
    // A new song of the selected play list with `file`, as New and the
    // ellipsis give it.
    void AddSong(const std::filesystem::path& file)
    {
        ASSERT_TRUE(Ui().Trigger("InsertNewSong"));
        AnswerBrowser(file);
        Page().SongGridEditButtonClick(Page().SongGrid->rowCount() - 1);
    }
    std::filesystem::path Mp3(const std::string& name, double hz)
    {
        return mp3fixtures::MakeMp3(TempPath("").toStdString(), name, 11025, 1, hz, hz);
    }
    // The loudest sample of `ms` of the song player's output.
    int Render(int ms)
    {
        TMusicChain& chain = *Page().Chain();
        std::vector<int16_t> out(441 * TMMWaveOut::LoopbackChannels);
        int peak = 0;
        for (int t = 0; t < ms && chain.Playing(); t += 10) {
            chain.Output.RenderLoopback(out.data(), 441);
            Clock.Advance(10);
            for (int16_t s : out)
                peak = std::max(peak, std::abs(int(s)));
        }
        return peak;
    }
};

} // namespace

TEST_F(TMusicPageTest, PlayListsAreMadeRenamedAndCutToThirtyCharacters)
{
    Show();
    ASSERT_TRUE(Ui().Trigger("ViewMusic"));
    NewList("Evening");
    ASSERT_TRUE(Ui().Trigger("NewPlayList"));
    ASSERT_EQ(Lists()->count(), 2);
    EXPECT_EQ(Lists()->currentRow(), 1);
    EXPECT_EQ(Lists()->item(1)->text(), "New Play List");
    EXPECT_TRUE(Page().SongEdit->isVisible());
    EXPECT_EQ(Page().SongEdit->text(), "New Play List");
    const int before = Changes();
    QTest::keyClick(Page().SongEdit, Qt::Key_Return);
    EXPECT_EQ(Changes(), before) << "the same name writes nothing";
    EXPECT_FALSE(Ui().Enabled("RemovePlayList"));

    const QString forty(40, QLatin1Char('x'));
    Page().PlayListDblClick();
    Page().SongEdit->setText(forty);
    QTest::keyClick(Page().SongEdit, Qt::Key_Return);
    EXPECT_EQ(Lists()->item(1)->text(), forty);
    EXPECT_EQ(Tables().tblPlayListName->AsString(), std::string(30, 'x'));
    Page().FillFromTable();
    EXPECT_EQ(Lists()->item(1)->text(), QString(30, QLatin1Char('x')));
}

TEST_F(TMusicPageTest, SongsAreChosenInTheBrowserShownByNameAndDeletedOnlyOnYes)
{
    Show();
    ASSERT_TRUE(Ui().Trigger("NewScheme"));
    Ui().Find<QLineEdit>("TitleEdit")->setText("Forest");
    QTest::keyClick(Ui().Find<QLineEdit>("TitleEdit"), Qt::Key_Return);
    Page().SongGrid->setFocus();
    EXPECT_FALSE(Ui().Enabled("InsertNewSong"));
    NewList("Evening");
    EXPECT_FALSE(Ui().Enabled("PlaySongSample")) << "an empty list";
    const auto rain = Mp3("rain", 440);
    // Cancelling the browser stores nothing.
    ASSERT_TRUE(Ui().Trigger("InsertNewSong"));
    AnswerBrowser(rain, false);
    Page().SongGridEditButtonClick(0);
    EXPECT_TRUE(Tables().tblSongs->IsEmpty());
    AddSong(rain);
    ASSERT_FALSE(Tables().tblSongs->IsEmpty());
    EXPECT_EQ(Tables().tblSongsMusicPath->AsString(), rain.string());
    ASSERT_EQ(Page().SongGrid->rowCount(), 1);
    EXPECT_EQ(Page().SongGrid->item(0, 0)->text(), "rain.mp3");
    EXPECT_TRUE(Ui().Enabled("PlaySongSample"));

    // A scheme chosen beside the song is stored by its number.
    auto* scheme = qobject_cast<QComboBox*>(Page().SongGrid->cellWidget(0, 1));
    ASSERT_NE(scheme, nullptr);
    const int forest = scheme->findText("Forest");
    ASSERT_GT(forest, 0);
    scheme->setCurrentIndex(forest);
    emit scheme->activated(forest);
    EXPECT_EQ(Tables().tblSongsSchemeNo->AsInteger(), Tables().tblSchemesRecordNo->AsInteger());
    EXPECT_EQ(Page().SongGrid->item(0, 1)->text(), "Forest");

    Page().SongGrid->setCurrentCell(0, 0);
    Prompts.AnswerNo();
    ASSERT_TRUE(Ui().Trigger("RemoveSong"));
    EXPECT_EQ(Page().SongGrid->rowCount(), 1);
    Prompts.AnswerYes();
    ASSERT_TRUE(Ui().Trigger("RemoveSong"));
    EXPECT_EQ(Page().SongGrid->rowCount(), 0);
    EXPECT_TRUE(Tables().tblSongs->IsEmpty());
}

TEST_F(TMusicPageTest, PlayRestartsTheSameSongAndSwitchesToAnother)
{
    Show();
    NewList("Evening");
    const auto low = Mp3("low", 220), high = Mp3("high", 880);
    AddSong(low);
    AddSong(high);
    ASSERT_NE(Page().Chain(), nullptr);
    TMusicChain& chain = *Page().Chain();
    int loads = 0;
    chain.Source.SetOnChange([&](auto&...) { ++loads; });

    Page().SongGrid->setCurrentCell(0, 0);
    ASSERT_TRUE(Ui().Trigger("PlaySongSample"));
    EXPECT_EQ(chain.Source.FileName(), low.string());
    EXPECT_GT(Render(200), 1000);
    EXPECT_TRUE(Ui().Enabled("StopSongSample"));
    const int loadsOfLow = loads;
    ASSERT_TRUE(Ui().Trigger("PlaySongSample"));
    EXPECT_EQ(loads, loadsOfLow) << "the same song is not loaded again";
    EXPECT_TRUE(chain.Playing());

    Page().SongGrid->setCurrentCell(1, 0);
    ASSERT_TRUE(Ui().Trigger("PlaySongSample"));
    EXPECT_EQ(chain.Source.FileName(), high.string());
    EXPECT_TRUE(chain.Playing());
    ASSERT_TRUE(Ui().Trigger("StopSongSample"));
    EXPECT_FALSE(chain.Playing());
    EXPECT_FALSE(Ui().Enabled("StopSongSample"));
}

TEST_F(TMusicPageTest, TheViewMenuChoosesThePageAndTheChoiceIsKept)
{
    Show();
    auto* pages = Ui().Find<QTabWidget>("PageControl");
    EXPECT_EQ(pages->currentIndex(), 0);
    ASSERT_TRUE(Ui().Trigger("ViewMusic"));
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_TRUE(Ui().Action("ViewMusic")->isChecked());
    EXPECT_FALSE(Ui().Action("ViewAmbitone")->isChecked());
    CloseAndDestroy();
    Show();
    EXPECT_EQ(Ui().Find<QTabWidget>("PageControl")->currentIndex(), 1);
}

TEST_F(TMusicPageTest, WithoutTheDecoderLibraryTheWindowStartsAndCannotPlay)
{
    SetMpegLibraryLoader([] { return std::unique_ptr<IMpegDecoderLibrary>(); });
    ResetMpegLibrary();
    Show();
    SetMpegLibraryLoader(nullptr);
    ResetMpegLibrary();
    EXPECT_EQ(Page().Chain(), nullptr);
    EXPECT_TRUE(Page().lblNoDecoder->isVisibleTo(&Page()));
    EXPECT_TRUE(Prompts.Texts("error").contains("Unable to load the MPEG decoder library"));
    NewList("Evening");
    EXPECT_FALSE(Ui().Enabled("PlaySongSample"));
    EXPECT_TRUE(Ui().Enabled("InsertNewSong"));
}
