// The ending-pop repair: what a cut keeps and plays, what Update stores and
// who hears it, and cuts that leave nothing to store.
#include "scheme_rows_fixture.h"

#include "audio/ds_channel.h"
#include "audio/sound_services.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"
#include "ui/frm_fix_pop_dialog.h"

#include <QAction>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

namespace {

// A 16-bit stereo image: 44 header bytes and 400 data bytes (100 frames).
TBytes StereoImage()
{
    return PcmWaveImage(2, 22050, 16, 100);
}

class TFixEndingPopTest : public TSchemeRowsTest {
protected:
    TMMDSMixChannel& RepairChannel() { return *Window->Sound().RepairChannel(); }
    // The user's part in the dialog: the slider to `kept` (as a key press
    // would put it), then Update.
    void AnswerCut(int kept)
    {
        Prompts.AnswerDialog([kept](QDialog& dialog) {
            auto& fix = static_cast<TfrmFixPopDialog&>(dialog);
            fix.show(); // as a modal run shows it
            fix.Slider->setValue(kept);
            fix.UpdateButton->click();
            return fix.result();
        });
    }
    // A sample stored with `image`, placed twice into the open scheme.
    void UseTwice(const TBytes& image)
    {
        Window->CatalogPanel().ImportSampleFiles({WriteFile("click.wav", image)});
        Use("click.wav");
        Use("click.wav");
    }
    TBytes StoredSound(TBookmark sound)
    {
        Tables().tblSounds->GotoBookmark(sound);
        return Tables().tblSounds->ReadBlob("Sound");
    }
};

} // namespace

TEST_F(TFixEndingPopTest, TheCutKeepsTheHeaderAndWholeFramesBeforeIt)
{
    Show();
    const TBytes image = StereoImage();
    TBytes withList = TRiffBuilder().Fmt(TWaveFormat::Pcm(2, 22050, 16).Header()).Data(PatternBytes(400))
                          .List("INFO", PatternBytes(40)).Build();
    const struct {
        const char* Name;
        const TBytes& Image;
        int Kept;
        size_t Stored;
        uint32_t PlayedBytes;
    } cases[] = {
        {"inside the data", image, 406, 406, 360},
        {"all the way left keeps all", image, 0, 444, 400},
        {"not moved", image, 444, 444, 400},
        // The kept part of a chunk after the data plays as sample data.
        {"inside a LIST chunk", withList, 444 + 8 + 10, 462, 416},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TfrmFixPopDialog dialog(Window.get(), &RepairChannel(), Prompts, c.Image);
        dialog.show();
        dialog.Slider->setValue(c.Kept);
        ASSERT_EQ(dialog.TrimmedImage.size(), c.Stored);
        EXPECT_TRUE(std::equal(dialog.TrimmedImage.begin(), dialog.TrimmedImage.end(), c.Image.begin()));
        dialog.PlaySample->trigger();
        EXPECT_EQ(RepairChannel().Wave().DataBytes(), c.PlayedBytes);
        EXPECT_TRUE(dialog.PlaySample->isChecked());
        EXPECT_TRUE(dialog.StopPlayback->isEnabled());
        dialog.StopPlayback->trigger();
        EXPECT_FALSE(dialog.PlaySample->isChecked());
        EXPECT_FALSE(dialog.StopPlayback->isEnabled());
        dialog.reject();
        // Closed, the channel lets go of the sample and stays silent.
        EXPECT_EQ(RepairChannel().Wave().DataBytes(), 0u);
        EXPECT_FALSE(RepairChannel().IsPlaying());
    }
}

TEST_F(TFixEndingPopTest, ACutInsideTheHeaderPlaysNothingAndIsNotStored)
{
    Start();
    UseTwice(StereoImage());
    const TBookmark sound = Row(0).SoundBookmark;
    Panel().SelectRow(0);
    bool stayedOpen = false;
    Prompts.AnswerDialog([&](QDialog& dialog) {
        auto& fix = static_cast<TfrmFixPopDialog&>(dialog);
        fix.show();
        fix.Slider->setValue(30);
        fix.LoopSample->trigger();
        EXPECT_FALSE(fix.PlaySample->isChecked());
        fix.UpdateButton->click();
        stayedOpen = fix.isVisible() && fix.result() != QDialog::Accepted;
        fix.CancelButton->click();
        return fix.result();
    });
    ASSERT_TRUE(Ui().Trigger("SampleFixEndingPop"));
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(Prompts.Texts("error"), QStringList{"Error reading wave file"});
    EXPECT_EQ(Prompts.Texts("warning").size(), 1);
    EXPECT_EQ(StoredSound(sound), StereoImage());
}

TEST_F(TFixEndingPopTest, ARepairFromARowPlaysThereAtOnceAndElsewhereAfterAReload)
{
    Start();
    UseTwice(StereoImage());
    const TBookmark sound = Row(0).SoundBookmark;
    EXPECT_FALSE(Ui().Enabled("SampleFixEndingPop")) << "no row selected";
    Panel().SelectRow(1);
    ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    EXPECT_FALSE(Ui().Enabled("SampleFixEndingPop")) << "while playing";
    ASSERT_TRUE(Ui().Trigger("StopScheme"));

    AnswerCut(406);
    ASSERT_TRUE(Ui().Trigger("SampleFixEndingPop"));
    const TBytes stored = StoredSound(sound);
    ASSERT_EQ(stored.size(), 406u);
    EXPECT_TRUE(std::equal(stored.begin(), stored.begin() + 44, StereoImage().begin())) << "header unchanged";
    EXPECT_EQ(Row(1).Row->Channel().Wave().DataBytes(), 360u);
    EXPECT_EQ(Row(0).Row->Channel().Wave().DataBytes(), 400u) << "the other row keeps the old sound";
    Reopen("Alpha");
    EXPECT_EQ(Row(0).Row->Channel().Wave().DataBytes(), 360u);

    // Exporting the repaired sample writes the short image as stored.
    auto* tree = Window->CatalogPanel().SoundTree;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0) == "click.wav")
            tree->setCurrentItem(*it);
    Prompts.AnswerFile(TempPath("exported.wav"));
    ASSERT_TRUE(Ui().Trigger("ExportSample"));
    QFile exported(TempPath("exported.wav"));
    ASSERT_TRUE(exported.open(QIODevice::ReadOnly));
    EXPECT_EQ(exported.readAll(), QByteArray(reinterpret_cast<const char*>(stored.data()), qsizetype(stored.size())));

    // From the library: the preview holds the repair; Update without a
    // move stores the same image.
    for (int kept : {404, 0}) {
        AnswerCut(kept);
        ASSERT_TRUE(Ui().Trigger("FixEndingPop"));
    }
    EXPECT_EQ(StoredSound(sound).size(), 404u);
    EXPECT_EQ(Window->Sound().SampleChannel()->Wave().DataBytes(), 360u);
}

TEST_F(TFixEndingPopTest, ClosingTheDialogLeavesAPlayingSchemePlaying)
{
    Start();
    UseTwice(StereoImage());
    Row(0).FreqSlider->setValue(100); // loops while the scheme plays
    ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    ASSERT_TRUE(Row(0).Row->Channel().IsPlaying());
    auto* tree = Window->CatalogPanel().SoundTree;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->text(0) == "rain.wav")
            tree->setCurrentItem(*it);
    Prompts.AnswerDialog([](QDialog& dialog) {
        dialog.show();
        static_cast<TfrmFixPopDialog&>(dialog).PlaySample->trigger();
        dialog.reject();
        return dialog.result();
    });
    ASSERT_TRUE(Ui().Trigger("FixEndingPop"));
    EXPECT_FALSE(RepairChannel().IsPlaying());
    EXPECT_TRUE(Row(0).Row->Channel().IsPlaying());
}
