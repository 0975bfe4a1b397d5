// The Music Browser: which files it lists and accepts, auditioning on its own
// chain (latching Play, volume, seeking) and its result codes.
#include "music/music_chain.h"
#include "music_page/frm_music_dialog.h"
#include "support/mp3_files.h"
#include "support/scripted_prompts.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

namespace {

using namespace mp3fixtures;

class TMusicDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = new TTempDir;
        MakeMp3(s_dir->Path(), "Song", 44100, 2, 440, 660); // 1 s
        std::filesystem::rename(MakeMp3(s_dir->Path(), "other", 22050, 1, 550, 0), s_dir->Path() / "Other.MP3");
        std::ofstream(s_dir->Path() / "notes.mp3") << "not a song, only words\n";
        std::ofstream(s_dir->Path() / "readme.txt") << "Song.mp3 is a tone\n";
    }
    static void TearDownTestSuite()
    {
        delete s_dir;
        s_dir = nullptr;
    }

    void SetUp() override
    {
        Dialog = std::make_unique<TfrmMusicDialog>(nullptr, Clock, Prompts, TWaveOutDevice::Loopback);
        Dialog->SetCurrentDirectory(Folder());
    }

    static QString Folder() { return QString::fromStdString(s_dir->Path().string()); }
    static QString PathOf(const QString& name) { return QDir(Folder()).filePath(name); }

    // A click on a file of the list, then the idle moment.
    void Click(const QString& name)
    {
        const auto found = Dialog->FileList->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        Dialog->FileList->setCurrentItem(found.first());
        Dialog->UpdateActions();
    }
    void Play()
    {
        Dialog->PlayButton->click();
        Dialog->UpdateActions();
    }

    // Mixes `ms` of the loopback device while the refills run; the largest
    // sample mixed.
    int RenderPeak(int ms)
    {
        std::vector<int16_t> mix(441 * TMMWaveOut::LoopbackChannels);
        int peak = 0;
        for (int t = 0; t < ms; t += 10) {
            if (!Dialog->Chain().Output.RenderLoopback(mix.data(), 441))
                break;
            Clock.RunPosted();
            for (int16_t sample : mix)
                peak = std::max(peak, std::abs(static_cast<int>(sample)));
        }
        return peak;
    }

    static TTempDir* s_dir;
    TVirtualClock Clock;
    TScriptedPrompts Prompts;
    std::unique_ptr<TfrmMusicDialog> Dialog;
};

TTempDir* TMusicDialogTest::s_dir = nullptr;

} // namespace

TEST_F(TMusicDialogTest, IsAToolWindowCentredOnItsParentWithNamedControls)
{
    QWidget parent;
    parent.setGeometry(40, 30, 800, 600);
    parent.show();
    TfrmMusicDialog dialog(&parent, Clock, Prompts, TWaveOutDevice::Loopback);
    dialog.show();

    EXPECT_EQ(dialog.windowTitle(), "Music Browser");
    EXPECT_EQ(dialog.windowType(), Qt::Tool);
    const QPoint offset = dialog.frameGeometry().center() - parent.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 2);
    for (QWidget* control : std::initializer_list<QWidget*>{dialog.DriveComboBox1, dialog.Directory, dialog.FileList,
                                                            dialog.PlayButton, dialog.StopButton, dialog.Slider,
                                                            dialog.VolumeSlider, dialog.OkButton, dialog.CancelButton})
        EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
    EXPECT_EQ(dialog.VolumeSlider->toolTip(), "Volume");
    EXPECT_TRUE(dialog.OkButton->isDefault());
    EXPECT_EQ(dialog.FileList->selectionMode(), QAbstractItemView::SingleSelection);
}

TEST_F(TMusicDialogTest, ListsMp3FilesInAnyCaseAndHandsOutTheCurrentOnesPath)
{
    QStringList names;
    for (int i = 0; i < Dialog->FileList->count(); ++i)
        names << Dialog->FileList->item(i)->text();
    EXPECT_EQ(names, QStringList({"notes.mp3", "Other.MP3", "Song.mp3"}));
    EXPECT_TRUE(Dialog->SelectedFile().isEmpty());
    EXPECT_FALSE(Dialog->PlaySong->isEnabled());

    Click("Other.MP3");
    EXPECT_EQ(Dialog->SelectedFile(), PathOf("Other.MP3"));
}

TEST_F(TMusicDialogTest, ATextFileNamedMp3IsRefusedAndTheChainKeepsItsSong)
{
    Click("notes.mp3");
    EXPECT_EQ(Prompts.Texts("message"), QStringList({"Invalid MP3 file!"}));
    EXPECT_FALSE(Dialog->PlaySong->isEnabled());
    EXPECT_TRUE(Dialog->Chain().Source.Empty());

    Click("Song.mp3");
    Click("notes.mp3");
    EXPECT_EQ(Prompts.Texts("message").size(), 2);
    EXPECT_FALSE(Dialog->PlaySong->isEnabled());
    EXPECT_EQ(Dialog->Chain().Source.FileName(), PathOf("Song.mp3").toStdString());
    // A double click on it plays nothing.
    emit Dialog->FileList->itemDoubleClicked(Dialog->FileList->currentItem());
    EXPECT_FALSE(Dialog->Chain().Playing());
    EXPECT_FALSE(Dialog->PlayButton->isChecked());
}

TEST_F(TMusicDialogTest, AValidFileIsLoadedWithTheSliderOverItsFrames)
{
    Click("Song.mp3");
    EXPECT_TRUE(Prompts.Texts("message").isEmpty());
    EXPECT_TRUE(Dialog->PlaySong->isEnabled());
    EXPECT_EQ(Dialog->Chain().Source.FileName(), PathOf("Song.mp3").toStdString());
    EXPECT_EQ(Dialog->Slider->maximum(), CountLayer3Frames(s_dir->Path() / "Song.mp3"));
}

TEST_F(TMusicDialogTest, PlayLatchesUntilStopAndStaysDownWhenTheSongEnds)
{
    Click("Other.MP3");
    EXPECT_FALSE(Dialog->StopSong->isEnabled());
    Play();
    EXPECT_TRUE(Dialog->PlayButton->isChecked());
    EXPECT_TRUE(Dialog->Chain().Playing());
    EXPECT_TRUE(Dialog->StopSong->isEnabled());

    Dialog->StopButton->click();
    Dialog->UpdateActions();
    EXPECT_FALSE(Dialog->Chain().Playing());
    EXPECT_FALSE(Dialog->PlayButton->isChecked());
    EXPECT_FALSE(Dialog->StopSong->isEnabled());

    // A double click plays too, and the half-second song runs out by itself.
    emit Dialog->FileList->itemDoubleClicked(Dialog->FileList->currentItem());
    Dialog->UpdateActions();
    EXPECT_TRUE(Dialog->Chain().Playing());
    RenderPeak(1500);
    Dialog->UpdateActions();
    EXPECT_FALSE(Dialog->Chain().Playing());
    EXPECT_TRUE(Dialog->PlayButton->isChecked());
    EXPECT_TRUE(Dialog->StopSong->isEnabled());
}

TEST_F(TMusicDialogTest, SelectingAnotherFileWhilePlayingStopsTheFirst)
{
    Click("Song.mp3");
    Play();
    RenderPeak(100);
    ASSERT_TRUE(Dialog->Chain().Playing());

    Click("Other.MP3");
    EXPECT_FALSE(Dialog->Chain().Playing());
    EXPECT_FALSE(Dialog->PlayButton->isChecked());
    EXPECT_EQ(Dialog->Chain().Source.FileName(), PathOf("Other.MP3").toStdString());
    EXPECT_EQ(Dialog->Slider->maximum(), CountLayer3Frames(s_dir->Path() / "Other.MP3"));
}

TEST_F(TMusicDialogTest, VolumeSliderSilencesAtZeroAndLeavesTheToneAtItsMaximum)
{
    // lame keeps the tone's 12000 peak within a few percent; the device's
    // dither may add a step to silence.
    const struct {
        int Position;
        int Low, High;
    } cases[] = {{0, 0, 2}, {16384, 11000, 13500}, {8192, 5500, 6750}};
    EXPECT_EQ(Dialog->VolumeSlider->maximum(), 16384);
    EXPECT_EQ(Dialog->VolumeSlider->value(), Dialog->Chain().Volume.Volume());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Position);
        Click("Song.mp3");
        Dialog->VolumeSlider->setValue(c.Position);
        EXPECT_EQ(Dialog->Chain().Volume.Volume(), c.Position);
        Play();
        const int peak = RenderPeak(300);
        EXPECT_GE(peak, c.Low);
        EXPECT_LE(peak, c.High);
        Dialog->StopButton->click();
    }
}

TEST_F(TMusicDialogTest, MovingTheSliderWhilePlayingSeeksTheSource)
{
    Click("Song.mp3");
    Play();
    RenderPeak(50);
    const int32_t before = Dialog->Chain().Source.Position();
    ASSERT_LT(before, 25);
    // The slider stays where the user left it while the song plays.
    EXPECT_EQ(Dialog->Slider->value(), 0);
    EXPECT_FALSE(Dialog->HiTimer->isActive());

    Dialog->Slider->setSliderDown(true);
    Dialog->Slider->setValue(25);
    EXPECT_EQ(Dialog->Chain().Source.Position(), before); // not while dragged
    Dialog->Slider->setSliderDown(false);                 // let go
    EXPECT_GE(Dialog->Chain().Source.Position(), 25);
    EXPECT_TRUE(Dialog->Chain().Playing());
    EXPECT_GT(RenderPeak(50), 10000);

    // To the last frame: the queued audio from before goes, so the song
    // ends well before the ring (over 200 ms) could have played out.
    Dialog->Slider->setValue(Dialog->Slider->maximum() - 1);
    RenderPeak(120);
    EXPECT_FALSE(Dialog->Chain().Playing());
}

TEST_F(TMusicDialogTest, ASeekWhileStoppedDoesNotSilenceTheNextPlay)
{
    Click("Song.mp3");
    Play();
    RenderPeak(50);
    Dialog->StopButton->click();
    Dialog->Slider->setValue(20);

    Play();
    EXPECT_TRUE(Dialog->Chain().Playing());
    EXPECT_GT(RenderPeak(100), 10000);
}

TEST_F(TMusicDialogTest, OkAndCancelCloseWithTheirResults)
{
    const struct {
        QPushButton* TfrmMusicDialog::*Button;
        int Result;
    } cases[] = {{&TfrmMusicDialog::OkButton, QDialog::Accepted}, {&TfrmMusicDialog::CancelButton, QDialog::Rejected}};
    for (const auto& c : cases) {
        TfrmMusicDialog dialog(nullptr, Clock, Prompts, TWaveOutDevice::Loopback);
        dialog.setResult(-1);
        (dialog.*c.Button)->click();
        EXPECT_EQ(dialog.result(), c.Result);
    }
}
