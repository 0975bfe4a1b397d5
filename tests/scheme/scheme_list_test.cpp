// The scheme list: creating, opening, renaming and deleting schemes, and the
// loop display kept in step with the Schemes cursor.
#include "support/window_driver.h"

#include "playback/scheduler.h"
#include "scheme/scheme_list_panel.h"
#include "scheme/scheme_panel.h"
#include "store/library_tables.h"
#include "ui/widgets/gauge.h"
#include "ui/widgets/led_number.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QToolButton>

namespace {

class TSchemeListTest : public TWindowTest {
protected:
    TfrmMain& Start()
    {
        TfrmMain& form = Show();
        List = Ui().Find<QListWidget>("Titles");
        TitleEdit = Ui().Find<QLineEdit>("TitleEdit");
        LoopLength = Ui().Find<TLedNumber>("Loop length");
        // Every write-back reopens the catalogue: count them to see loads.
        Tables().tblSounds->AfterOpen = [this](TTable&) { ++Reloads; };
        Tables().tblSchemes->AfterPost = [this](TTable&) { ++SchemePosts; };
        return form;
    }

    // Creates a scheme and names it as the user would: type, then Enter.
    void CreateNamed(const QString& name)
    {
        ASSERT_TRUE(Ui().Trigger("NewScheme"));
        TitleEdit->setText(name);
        QTest::keyClick(TitleEdit, Qt::Key_Return);
    }

    void Click(int index) { List->setCurrentRow(index, QItemSelectionModel::ClearAndSelect); }

    TSchemeListPanel& Panel() { return Window->SchemeListPanel(); }
    TScheduler& Scheduler() { return Window->SchemePanel().Scheduler(); }
    QString Title() { return Ui().Find<QLabel>("lblAmbitoneTitle")->text(); }
    std::string StoredName() { return Tables().tblSchemesName->AsString(); }
    // A scheme playing as far as the list can tell: its timers run and the
    // Play button is down.
    void StartPlaying()
    {
        Scheduler().Play();
        ASSERT_TRUE(Scheduler().Playing());
    }

    QListWidget* List = nullptr;
    QLineEdit* TitleEdit = nullptr;
    TLedNumber* LoopLength = nullptr;
    int Reloads = 0;
    int SchemePosts = 0;
};

} // namespace

TEST_F(TSchemeListTest, NewSchemeInAnEmptyListIsSelectedOpenAndInRename)
{
    Start();
    ASSERT_TRUE(Ui().Trigger("NewScheme"));
    ASSERT_EQ(List->count(), 1);
    EXPECT_EQ(List->item(0)->text(), "New Ambitone");
    EXPECT_EQ(Panel().SelectedSchemeIndex(), 0);
    EXPECT_EQ(Panel().OpenSchemeIndex(), 0);
    EXPECT_EQ(LoopLength->Value(), 60);
    EXPECT_EQ(StoredName(), "New Ambitone");
    EXPECT_EQ(Tables().tblSchemesLoopPeriod->AsInteger(), 60);
    EXPECT_EQ(Tables().tblData->Filter(), "SchemeNo = " + std::to_string(Tables().tblSchemesRecordNo->AsInteger()));
    EXPECT_TRUE(Panel().RenameInProgress());
    EXPECT_TRUE(TitleEdit->isVisible());
    EXPECT_EQ(TitleEdit->text(), "New Ambitone");
    EXPECT_EQ(TitleEdit->height(), 16);
    EXPECT_EQ(TitleEdit->width(), List->width());
    EXPECT_EQ(TitleEdit->y(), List->viewport()->mapTo(&Panel(), QPoint(0, 0)).y());
}

TEST_F(TSchemeListTest, RenamingStoresTheTextAndEndsOnEnter)
{
    Start();
    CreateNamed("Rain Forest");
    EXPECT_FALSE(TitleEdit->isVisible());
    EXPECT_FALSE(Panel().RenameInProgress());
    EXPECT_EQ(List->item(0)->text(), "Rain Forest");
    EXPECT_EQ(Title(), "Rain Forest");
    EXPECT_EQ(StoredName(), "Rain Forest");

    // Same text: nothing is written. Esc does not cancel: losing the focus
    // then ends the edit with the text typed.
    int posts = SchemePosts;
    ASSERT_TRUE(Ui().Trigger("RenameScheme"));
    QTest::keyClick(TitleEdit, Qt::Key_Return);
    EXPECT_EQ(SchemePosts, posts);

    ASSERT_TRUE(Ui().Trigger("RenameScheme"));
    TitleEdit->setText("Night Harbour");
    QTest::keyClick(TitleEdit, Qt::Key_Escape);
    EXPECT_TRUE(TitleEdit->isVisible());
    List->setFocus();
    Panel().TitleEditExit(); // what the focus change runs
    EXPECT_EQ(StoredName(), "Night Harbour");

    // An empty title is a title too.
    ASSERT_TRUE(Ui().Trigger("RenameScheme"));
    TitleEdit->clear();
    QTest::keyClick(TitleEdit, Qt::Key_Enter);
    EXPECT_EQ(StoredName(), "");
    EXPECT_EQ(List->item(0)->text(), "");
}

TEST_F(TSchemeListTest, ALongTitleIsStoredCutWhileTheListShowsItWhole)
{
    Start();
    QString title(300, u'a');
    title.replace(249, 2, QStringLiteral("éé")); // the cut falls between two-byte characters
    CreateNamed(title);
    std::string stored = StoredName();
    EXPECT_EQ(QString::fromStdString(stored), title.left(250));
    EXPECT_EQ(List->item(0)->text(), title);
    EXPECT_EQ(Title(), title);
}

TEST_F(TSchemeListTest, CreatingAnotherSchemeWritesTheOpenOneBackUnchanged)
{
    Start();
    CreateNamed("First");
    Scheduler().SetLoopLength(120);
    TBookmark first = Tables().tblSchemes->GetBookmark();
    CreateNamed("Second");
    EXPECT_EQ(LoopLength->Value(), 60);
    EXPECT_EQ(Panel().OpenSchemeIndex(), 1);
    Tables().tblSchemes->GotoBookmark(first);
    EXPECT_EQ(Tables().tblSchemesLoopPeriod->AsInteger(), 120);
}

TEST_F(TSchemeListTest, ClickingTheOpenSchemeDoesNothingAndAnotherStopsPlayback)
{
    Start();
    CreateNamed("First");
    Scheduler().SetLoopLength(180);
    CreateNamed("Second");
    StartPlaying();
    auto* play = Ui().Find<QToolButton>("PlaySchemeButton");
    EXPECT_TRUE(play->isChecked());

    int reloads = Reloads;
    Panel().SchemeListClick(); // the open one is still selected
    EXPECT_EQ(Reloads, reloads);
    EXPECT_TRUE(Scheduler().Playing());

    Click(0);
    EXPECT_EQ(Reloads, reloads + 1);
    EXPECT_EQ(Panel().OpenSchemeIndex(), 0);
    EXPECT_FALSE(Scheduler().Playing());
    EXPECT_FALSE(Scheduler().MotionRunning());
    EXPECT_FALSE(play->isChecked());
    EXPECT_EQ(Title(), "First");
    EXPECT_EQ(LoopLength->Value(), 180);
    EXPECT_EQ(StoredName(), "First");
    EXPECT_EQ(Tables().tblData->Filter(), "SchemeNo = " + std::to_string(Tables().tblSchemesRecordNo->AsInteger()));
}

TEST_F(TSchemeListTest, MovingTheCursorResetsTheLoopDisplay)
{
    Start();
    CreateNamed("First");
    CreateNamed("Second");
    auto* loopCount = Ui().Find<TLedNumber>("Loop time");
    auto* playTime = Ui().Find<TLedNumber>("Play time");
    auto* gauge = Ui().Find<TGauge>("Loop progress");
    StartPlaying();
    Clock.Advance(17000);
    ASSERT_EQ(Window->SchemePanel().LoopPosition(), 17);
    EXPECT_EQ(loopCount->Value(), 17);
    EXPECT_EQ(playTime->Value(), 17);
    EXPECT_EQ(gauge->Progress(), 28);
    Scheduler().SetLoopLength(240);
    Click(0);
    EXPECT_EQ(Window->SchemePanel().LoopPosition(), 0);
    EXPECT_EQ(loopCount->Value(), 0);
    EXPECT_EQ(playTime->Value(), 0);
    EXPECT_EQ(gauge->Progress(), 0);
    EXPECT_EQ(LoopLength->Value(), 60);
    Click(1);
    EXPECT_EQ(LoopLength->Value(), 240); // written back when it was left
}

TEST_F(TSchemeListTest, DeletingAsksAndOnlyYesDeletes)
{
    Start();
    CreateNamed("Keep");
    CreateNamed("Doomed");
    CreateNamed("Third");
    Click(1);

    Prompts.AnswerNo();
    Ui().Trigger("DeleteScheme");
    Ui().Trigger("DeleteScheme"); // no scripted answer: the box was closed
    EXPECT_EQ(Prompts.Texts("confirm"),
              QStringList({"Delete ambitone titled \"Doomed\"?", "Delete ambitone titled \"Doomed\"?"}));
    EXPECT_EQ(List->count(), 3);
    EXPECT_EQ(Tables().tblSchemes->RecordCount(), 3);
    EXPECT_EQ(Panel().OpenSchemeIndex(), 1);

    Prompts.AnswerYes();
    StartPlaying();
    Ui().Trigger("DeleteScheme");
    EXPECT_EQ(List->count(), 2);
    EXPECT_EQ(Tables().tblSchemes->RecordCount(), 2);
    EXPECT_TRUE(List->selectedItems().isEmpty());
    EXPECT_EQ(Panel().OpenSchemeIndex(), -1);
    EXPECT_TRUE(Scheduler().Playing()); // a deletion does not stop the timers
    EXPECT_EQ(List->item(1)->text(), "Third");

    // The title now in the deleted one's place opens.
    Click(1);
    EXPECT_EQ(Panel().OpenSchemeIndex(), 1);
    EXPECT_EQ(StoredName(), "Third");
}

TEST_F(TSchemeListTest, TypingInTheListReloadsTheSelectedScheme)
{
    Start();
    QTest::keyClick(List, Qt::Key_A); // nothing selected: nothing happens
    EXPECT_EQ(Reloads, 0);

    CreateNamed("Alpha");
    CreateNamed("Beta");
    int reloads = Reloads;
    List->setFocus();
    QTest::keyClick(List, Qt::Key_Z); // no title starts with z: the selection stays
    EXPECT_EQ(Reloads, reloads + 1);
    EXPECT_EQ(Panel().OpenSchemeIndex(), 1);
    QTest::keyClick(List, Qt::Key_Down); // not a character key
    EXPECT_EQ(Reloads, reloads + 1);
}

TEST_F(TSchemeListTest, TheSchemePanelIsEnabledOnlyWithASelection)
{
    Start();
    QWidget* panel = Ui().Find("PropGroup");
    Ui().Update();
    EXPECT_FALSE(panel->isEnabled());
    CreateNamed("Alpha");
    Ui().Update();
    EXPECT_TRUE(panel->isEnabled());
    Prompts.AnswerYes();
    Ui().Trigger("DeleteScheme");
    Ui().Update();
    EXPECT_FALSE(panel->isEnabled());
    EXPECT_FALSE(Ui().Enabled("RenameScheme"));
}

TEST_F(TSchemeListTest, TheListComesBackFromTheTableAtTheNextStart)
{
    {
        Start();
        CreateNamed("Alpha");
        CreateNamed("Beta");
        CloseAndDestroy();
    }
    Start();
    ASSERT_EQ(List->count(), 2);
    EXPECT_EQ(List->item(0)->text(), "Alpha");
    EXPECT_EQ(List->item(1)->text(), "Beta");
    Click(0);
    EXPECT_EQ(Title(), "Alpha");
    EXPECT_EQ(LoopLength->Value(), 60);
}

TEST_F(TSchemeListTest, TheOpenSchemeStaysSelectedWhenTheUserTriesToClearTheSelection)
{
    Start();
    CreateNamed("Alpha");
    CreateNamed("Beta");
    int reloads = Reloads;
    QRect beta = List->visualItemRect(List->item(1));
    QTest::mouseClick(List->viewport(), Qt::LeftButton, Qt::ControlModifier, beta.center());
    EXPECT_EQ(Panel().SelectedSchemeIndex(), 1);
    EXPECT_EQ(Panel().OpenSchemeIndex(), 1);
    EXPECT_EQ(Reloads, reloads);
    // A plain click on the other title opens it.
    QRect alpha = List->visualItemRect(List->item(0));
    QTest::mouseClick(List->viewport(), Qt::LeftButton, Qt::NoModifier, alpha.center());
    EXPECT_EQ(Panel().OpenSchemeIndex(), 0);
    EXPECT_EQ(Title(), "Alpha");
}
