// The rows of an open scheme in the window: placing samples, the two
// encodings through the store, rows whose sound is gone or damaged, taking
// rows out, selection and mute colours, and playing from the tool bar.
#include "scheme_rows_fixture.h"

#include "audio/ds_channel.h"
#include "audio/level_connector.h"
#include "catalog/catalog_node.h"
#include "catalog/catalog_panel.h"
#include "catalog/sound_tree.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"
#include "scheme/row_dialogs.h"
#include "scheme/sample_slot.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "store/library_tables.h"
#include "ui/widgets/led_number.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QSpinBox>
#include <QToolButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QTabBar>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include <cmath>


TEST_F(TSchemeRowsTest, AUsedSampleIsTheLastRowAtTheSeldomEndAndIsStoredSo)
{
    Start();
    EXPECT_FALSE(Ui().Enabled("ClearAllSchemeSamples"));
    Use("rain.wav");
    Use("owl.wav");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Row(1).NameLabel->text(), "owl.wav");
    EXPECT_EQ(Row(1).FreqSlider->geometry().top(), 25);
    EXPECT_EQ(Row(1).FreqSlider->value(), 0);
    EXPECT_FALSE(Row(1).PeriodDisplay->isVisible());
    EXPECT_EQ(Row(1).EndIcon->property("bitmap").toInt(), 1);
    EXPECT_EQ(Panel().SelectedRow(), -1);
    EXPECT_TRUE(Ui().Enabled("ClearAllSchemeSamples"));
    Open("Beta");
    Open("Alpha");
    EXPECT_EQ(Stored("Freq"), std::vector<int32_t>({0, 0}));
    EXPECT_EQ(Stored("PatternSpeed"), std::vector<int32_t>({1, 1}));
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Row(0).NameLabel->text(), "rain.wav");
}

TEST_F(TSchemeRowsTest, FrequencyIsStoredThroughTheDisplayedPeriod)
{
    Start();
    Use("rain.wav");
    struct TCase {
        int Loop, Slider, Stored;
    };
    for (TCase c : {TCase{60, 50, 50}, TCase{60, 34, 33}, TCase{61, 50, 51}, TCase{60, 1, 2}, TCase{60, 0, 0},
                    TCase{60, 100, 100}, TCase{0, 34, 34}}) {
        SCOPED_TRACE(testing::Message() << "loop " << c.Loop << ", slider " << c.Slider);
        Panel().Scheduler().SetLoopLength(c.Loop);
        Row(0).FreqSlider->setValue(c.Slider == 0 ? 1 : 0); // a real move each time
        Row(0).FreqSlider->setValue(c.Slider);
        Reopen("Alpha");
        EXPECT_EQ(Stored("Freq"), std::vector<int32_t>({c.Stored}));
        EXPECT_EQ(Row(0).FreqSlider->value(), c.Stored);
    }
}

// A scheme opened after another shows its rows in controls the other left
// behind: nothing of the old rows may show through, and what no row took is
// hidden and unnamed once the window has answered.
TEST_F(TSchemeRowsTest, ASchemeOpenedAfterAnotherShowsNothingOfTheOldRows)
{
    Start();
    Open("Beta");
    Use("wind.wav");
    Row(0).FreqSlider->setValue(50);
    Open("Alpha");
    Use("rain.wav");
    Use("owl.wav");
    Row(0).FreqSlider->setValue(100); // the "Often" end icon
    Panel().SelectRow(0);
    Row(1).Row->Channel().SetMuted(true);
    Panel().SelectRow(0);

    Open("Beta");
    ASSERT_EQ(Rows(), 1);
    TSampleSlot& row = Row(0);
    EXPECT_EQ(row.NameLabel->text(), "wind.wav");
    EXPECT_EQ(row.FreqSlider->accessibleName(), "wind.wav");
    EXPECT_EQ(row.FreqSlider->value(), 50);
    EXPECT_TRUE(row.EndIcon->pixmap().isNull()); // no end icon left over
    EXPECT_FALSE(row.NameLabel->property("selected").toBool());
    EXPECT_EQ(row.LevelConnector->Channel(), static_cast<ILevelSource*>(&row.Row->Channel()));
    QCoreApplication::processEvents();
    EXPECT_EQ(Ui().FindWidget("rain.wav"), nullptr);
    EXPECT_EQ(Ui().FindWidget("owl.wav"), nullptr);
    int shown = 0;
    for (auto* slider : Panel().FreqScroll->widget()->findChildren<TFreqSlider*>())
        shown += slider->isVisible();
    EXPECT_EQ(shown, 1);

    // Alpha comes back whole, its mute gone with the channels.
    Open("Alpha");
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Row(0).EndIcon->property("bitmap").toInt(), 0);
    EXPECT_EQ(Row(1).NameLabel->text(), "owl.wav");
    EXPECT_FALSE(Row(1).NameLabel->property("muted").toBool());
    EXPECT_TRUE(Row(1).NameLabel->isVisible());
}

TEST_F(TSchemeRowsTest, RandomizeAndPositionsComeBackFromTheStore)
{
    Start();
    Use("rain.wav");
    Use("wind.wav");
    Open("Beta");
    // Settings as an import or another version could have left them.
    TTable& data = *Tables().tblData;
    data.SetFilter("");
    data.First();
    data.Edit();
    Tables().tblDataRandomize->SetAsBoolean(true);
    Tables().tblDataCoordX->SetAsFloat(0.1);
    data.Post();
    Open("Alpha");
    EXPECT_TRUE(Row(0).FreqSlider->Randomize());
    EXPECT_FALSE(Row(1).FreqSlider->Randomize());
    Panel().SelectRow(1);
    Row(1).FreqSlider->setValue(50);
    ASSERT_TRUE(Ui().Trigger("RandomizeSample"));
    Reopen("Alpha");
    data.First();
    EXPECT_TRUE(Tables().tblDataRandomize->AsBoolean());
    EXPECT_EQ(Tables().tblDataCoordX->AsFloat(), double(0.1f)); // single precision on the way
    data.Next();
    EXPECT_TRUE(Tables().tblDataRandomize->AsBoolean());
}

TEST_F(TSchemeRowsTest, ARowWhoseSoundIsGoneIsDroppedAndADamagedOneIsLeftOutWithAMessage)
{
    Start();
    Use("rain.wav");
    Use("wind.wav");
    Use("owl.wav");
    Open("Beta");
    TTable& sounds = *Tables().tblSounds;
    sounds.First(); // rain.wav: damaged
    sounds.Edit();
    const std::vector<uint8_t> junk(64, 0x55);
    sounds.WriteBlob("Sound", junk);
    sounds.Post();
    sounds.Next(); // wind.wav: gone
    sounds.Delete();
    Prompts.Clear();
    Open("Alpha");
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0).NameLabel->text(), "owl.wav");
    ASSERT_EQ(Prompts.Texts("message").size(), 1);
    EXPECT_TRUE(Prompts.Texts("message")[0].contains("rain.wav"));
    // The missing sound's row is gone from the store; the damaged one stays.
    EXPECT_EQ(Stored("Freq").size(), 2u);
}

TEST_F(TSchemeRowsTest, RemovingRowZeroOfThreeMovesTheOthersUpAndAsksFirst)
{
    Start();
    Use("rain.wav");
    Use("wind.wav");
    Use("owl.wav");
    Panel().SelectRow(0);
    Prompts.AnswerNo();
    ASSERT_TRUE(Ui().Trigger("RemoveSample"));
    ASSERT_TRUE(Ui().Trigger("RemoveSample")); // closed without an answer: No
    EXPECT_EQ(Prompts.Texts("confirm"), QStringList(2, "Remove \"rain.wav\" from this ambitone?"));
    EXPECT_EQ(Rows(), 3);

    TMMDSMixChannel* owl = &Row(2).Row->Channel();
    Prompts.AnswerYes();
    ASSERT_TRUE(Ui().Trigger("RemoveSample"));
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Panel().SelectedRow(), -1);
    EXPECT_EQ(Row(1).NameLabel->text(), "owl.wav");
    EXPECT_EQ(Row(1).FreqSlider->geometry().top(), 25);
    EXPECT_EQ(Row(1).FreqSlider->property("tag").toInt(), 1);
    EXPECT_EQ(&Row(1).Row->Channel(), owl);
    EXPECT_EQ(owl->Tag(), 1);
    EXPECT_EQ(Stored("Freq").size(), 2u);
}

TEST_F(TSchemeRowsTest, ClearEmptiesThePanelAndTheNextSampleIsAtTheTop)
{
    Start();
    Use("rain.wav");
    Use("wind.wav");
    ASSERT_TRUE(Ui().Trigger("ClearAllSchemeSamples")); // unanswered: nothing goes
    EXPECT_EQ(Rows(), 2);
    Prompts.AnswerYes();
    ASSERT_TRUE(Ui().Trigger("ClearAllSchemeSamples"));
    EXPECT_EQ(Prompts.Texts("confirm").back(), "Clear all samples from this ambitone?");
    EXPECT_EQ(Rows(), 0);
    EXPECT_TRUE(Ui().Find("FreqScroll")->isVisible());
    EXPECT_TRUE(Stored("Freq").empty());
    Use("owl.wav");
    EXPECT_EQ(Row(0).FreqSlider->geometry().top(), 5);
}

TEST_F(TSchemeRowsTest, SelectionSoloUnmuteAndTheMuteCheckMark)
{
    Start();
    Use("rain.wav");
    Use("wind.wav");
    const QColor lime(0, 255, 0), highlight = QApplication::palette().color(QPalette::HighlightedText);
    Panel().SelectRow(0);
    EXPECT_EQ(LabelBackground(0), QApplication::palette().color(QPalette::Highlight));
    EXPECT_EQ(LabelBackground(1), QColor(Qt::black));
    EXPECT_EQ(LabelText(0), highlight);
    EXPECT_EQ(LabelText(1), lime);
    EXPECT_EQ(QApplication::focusWidget(), Row(0).FreqSlider); // on the Frequency page only
    ASSERT_TRUE(Ui().Trigger("SoloSchemeSample"));
    EXPECT_EQ(LabelText(0), highlight);
    EXPECT_EQ(LabelText(1), QColor(Qt::red));
    EXPECT_TRUE(Row(1).Row->Channel().Muted());
    Panel().SelectRow(1);
    Panel().SchemePopupPopup();
    EXPECT_TRUE(Ui().Action("MuteSchemeSample")->isChecked());
    Panel().SelectRow(0); // the first row as well
    Panel().SchemePopupPopup();
    EXPECT_FALSE(Ui().Action("MuteSchemeSample")->isChecked());
    Panel().SelectRow(1);
    Panel().SchemePopupPopup();
    ASSERT_TRUE(Ui().Trigger("UnmuteAllSchemeSample"));
    EXPECT_EQ(LabelText(0), lime);
    EXPECT_FALSE(Row(1).Row->Channel().Muted());
    EXPECT_TRUE(Ui().Action("MuteSchemeSample")->isChecked()); // only the pop-up brings the mark in step
    Panel().SchemePopupPopup();
    ASSERT_TRUE(Ui().Trigger("MuteSchemeSample")); // the check mark turns on, and so does the mute
    EXPECT_TRUE(Row(1).Row->Channel().Muted());
    EXPECT_EQ(LabelText(1), QColor(Qt::red));

    // On the Location page the names go along and the slider keeps no focus.
    Ui().Find<QTabBar>("TabSet")->setCurrentIndex(1);
    EXPECT_EQ(Row(0).NameLabel->parentWidget(), Ui().Find<QScrollArea>("LocationScroll")->widget());
    Ui().Find("SchemeList")->setFocus();
    Panel().SelectRow(0);
    EXPECT_NE(QApplication::focusWidget(), Row(0).FreqSlider);
}

TEST_F(TSchemeRowsTest, PlayFiresARowLoopsOneAtTheOftenEndAndStopSilences)
{
    Start();
    Use("rain.wav");
    Use("wind.wav");
    Row(0).FreqSlider->setValue(100); // continuous
    Row(1).FreqSlider->setValue(95);  // every 3 s of the 60 s loop
    Row(1).Row->Channel().SetMuted(true); // heard only through its state
    ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    EXPECT_TRUE(Ui().Find<QAbstractButton>("PlaySchemeButton")->isChecked());
    EXPECT_GT(RenderPeak(200), 1000); // the looping row sounds
    EXPECT_TRUE(Row(0).Row->Channel().IsPlaying());
    EXPECT_FALSE(Row(1).Row->Channel().IsPlaying());
    Ui().Find<QCheckBox>("chkCounter")->setChecked(true);
    RenderPeak(1800);
    // Two of the row's three seconds: two thirds of the slider in blue.
    EXPECT_EQ(Row(1).FreqSlider->ProgressWidth(), int(std::lround(2.0 / 3 * Row(1).FreqSlider->width())));
    EXPECT_EQ(Row(0).FreqSlider->ProgressWidth(), 0); // a looping row has no timer
    RenderPeak(1000);
    EXPECT_TRUE(Row(1).Row->Channel().IsPlaying()); // fired at 3 s
    EXPECT_EQ(Row(1).FreqSlider->ProgressWidth(), 0); // the firing erased it
    EXPECT_EQ(Ui().Find<TLedNumber>("Play time")->Value(), 3);
    // A slider taken off the end while playing stops its loop at once, and
    // back at the end starts it again.
    Row(0).FreqSlider->setValue(99);
    EXPECT_FALSE(Row(0).Row->Channel().IsPlaying());
    Row(0).FreqSlider->setValue(100);
    EXPECT_TRUE(Row(0).Row->Channel().IsPlaying());
    ASSERT_TRUE(Ui().Trigger("StopScheme"));
    EXPECT_LE(RenderPeak(200), 1); // silence
    EXPECT_FALSE(Row(0).Row->Channel().IsPlaying());
    EXPECT_FALSE(Row(1).Row->Channel().IsPlaying());
    EXPECT_FALSE(Ui().Find<QAbstractButton>("PlaySchemeButton")->isChecked());
}

TEST_F(TSchemeRowsTest, CatalogueChangesReachTheRows)
{
    Start();
    Use("rain.wav");
    Use("owl.wav");
    // A rename in the tree shows on the row at once.
    TCatalogPanel& catalog = Window->CatalogPanel();
    QTreeWidgetItem* owl = nullptr;
    for (QTreeWidgetItemIterator it(catalog.SoundTree); *it; ++it)
        if ((*it)->text(0) == "owl.wav")
            owl = *it;
    ASSERT_NE(owl, nullptr);
    catalog.SoundTreeEdited(owl, "Barn owl");
    EXPECT_EQ(Row(1).NameLabel->text(), "Barn owl");
    // A sample deleted from the library leaves the scheme too.
    catalog.SoundTree->setCurrentItem(owl);
    Prompts.AnswerYes();
    ASSERT_TRUE(Ui().Trigger("DeleteSample"));
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Row(0).NameLabel->text(), "rain.wav");
    EXPECT_EQ(Stored("Freq").size(), 1u);
}

TEST_F(TSchemeRowsTest, RandomizeIsForSlidersInsideTheirRangeAndRestoresTheSetPeriod)
{
    Start();
    Use("rain.wav");
    Panel().SelectRow(0);
    for (int position : {0, 100}) {
        Row(0).FreqSlider->setValue(position);
        EXPECT_FALSE(Ui().Enabled("RandomizeSample")) << position;
    }
    Row(0).FreqSlider->setValue(34); // a period of 40 s in the 60 s loop
    ASSERT_TRUE(Ui().Trigger("RandomizeSample"));
    EXPECT_TRUE(Row(0).FreqSlider->Randomize());
    EXPECT_TRUE(Ui().Enabled("RandomizeSample"));
    EXPECT_TRUE(Ui().Action("RandomizeSample")->isChecked());
    Row(0).Row->Record().SliderPosition = 80; // where a randomized firing left it
    ASSERT_TRUE(Ui().Trigger("RandomizeSample"));
    EXPECT_FALSE(Row(0).FreqSlider->Randomize());
    EXPECT_EQ(Row(0).FreqSlider->value(), 33); // 100 - Round(40 / 60 x 100)
    EXPECT_EQ(Row(0).PeriodDisplay->Value(), 40);
}

TEST_F(TSchemeRowsTest, TheRepeatDialogWritesWhenItGoesAndThePatternDialogAtEachClick)
{
    Start();
    Use("rain.wav");
    Panel().SelectRow(0);
    TPlaybackRow& record = Row(0).Row->Record();
    ASSERT_TRUE(Ui().Trigger("RepeatOnPlay"));
    auto* repeat = Window->findChild<TfrmRepeatDialog*>("frmRepeatDialog");
    ASSERT_NE(repeat, nullptr);
    EXPECT_EQ(repeat->size(), QSize(136, 144));
    EXPECT_EQ(repeat->MethodGroup->checkedId(), 0);
    repeat->MethodGroup->button(2)->click();
    repeat->RepeatCount->setValue(7);
    EXPECT_EQ(record.RepeatMethod, 0); // nothing yet
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(repeat, &deactivate);
    EXPECT_EQ(record.RepeatMethod, 2);
    EXPECT_EQ(record.RepeatCount, 7);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Window->findChild<TfrmRepeatDialog*>(), nullptr);

    ASSERT_TRUE(Ui().Trigger("SetSoundPattern"));
    EXPECT_EQ(Ui().Find<QTabBar>("TabSet")->currentIndex(), 1);
    auto* pattern = Window->findChild<TfrmSoundPattern*>("frmSoundPattern");
    ASSERT_NE(pattern, nullptr);
    pattern->PatternGroup->button(1)->click(); // Circle
    pattern->SpeedGroup->button(4)->click();
    pattern->chkReverse->click();
    EXPECT_EQ(record.Pattern, 1); // before the dialog closes
    EXPECT_EQ(record.PatternSpeed, 4);
    EXPECT_TRUE(record.ReversePattern);
    pattern->CloseButton->click();
    Reopen("Alpha");
    EXPECT_EQ(Stored("RepeatPatten"), std::vector<int32_t>({2}));
    EXPECT_EQ(Stored("Repeat"), std::vector<int32_t>({7}));
    EXPECT_EQ(Stored("Pattern"), std::vector<int32_t>({1}));
}

TEST_F(TSchemeRowsTest, RenamingFromTheRowChangesTheLibraryTheLabelAndTheNode)
{
    Start();
    Use("owl.wav");
    Panel().SelectRow(0);
    int posts = 0;
    Tables().tblSounds->AfterPost = [&](TTable&) { ++posts; };
    for (const QString& text : {QString("owl.wav"), QString("Tawny owl")}) {
        QTest::mouseDClick(Row(0).NameLabel, Qt::LeftButton);
        auto* editor = Ui().Find<QLineEdit>("txtEditName");
        ASSERT_TRUE(editor->isVisible());
        EXPECT_EQ(editor->text(), "owl.wav");
        editor->setText(text);
        QTest::keyClick(editor, Qt::Key_Return);
        EXPECT_FALSE(editor->isVisible());
    }
    EXPECT_EQ(posts, 1); // the same text changed nothing
    EXPECT_EQ(Row(0).NameLabel->text(), "Tawny owl");
    EXPECT_EQ(Tables().tblSoundsName->AsString(), "Tawny owl");
    auto* tree = Ui().Find<TSoundTree>("SoundTree");
    EXPECT_FALSE(tree->findItems("Tawny owl", Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
}
