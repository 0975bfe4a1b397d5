// The scheme list: creating, opening, renaming and deleting schemes, and the
// loop display kept in step with the Schemes cursor.
#include "support/main_window_fixture.h"

#include "app/widgets/gauge.h"
#include "app/widgets/led_number.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace {

class TSchemeListTest : public TMainWindowFixture {
protected:
    TfrmMain& Start()
    {
        TfrmMain& form = Open();
        form.show();
        // Every write-back reopens the catalogue: count them to see loads.
        form.tblSounds->AfterOpen = [this](TTable&) { ++Reloads; };
        form.tblSchemes->AfterPost = [this](TTable&) { ++SchemePosts; };
        return form;
    }

    // Creates a scheme and names it as the user would: type, then Enter.
    void CreateNamed(TfrmMain& form, const QString& name)
    {
        form.NewSchemeExecute();
        form.TitleEdit->setText(name);
        QTest::keyClick(form.TitleEdit, Qt::Key_Return);
    }

    void Click(TfrmMain& form, int index)
    {
        form.SchemeList->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }

    int Reloads = 0;
    int SchemePosts = 0;
};

} // namespace

TEST_F(TSchemeListTest, NewSchemeInAnEmptyListIsSelectedOpenAndInRename)
{
    TfrmMain& form = Start();
    form.NewSchemeExecute();
    ASSERT_EQ(form.SchemeList->count(), 1);
    EXPECT_EQ(form.SchemeList->item(0)->text(), "New Ambitone");
    EXPECT_EQ(form.SelectedSchemeIndex(), 0);
    EXPECT_EQ(form.OpenSchemeIndex, 0);
    EXPECT_EQ(form.lblLoopLength->Value(), 60);
    EXPECT_EQ(form.tblSchemesName->AsString(), "New Ambitone");
    EXPECT_EQ(form.tblSchemesLoopPeriod->AsInteger(), 60);
    EXPECT_EQ(form.tblData->Filter(), "SchemeNo = " + std::to_string(form.tblSchemesRecordNo->AsInteger()));
    EXPECT_TRUE(form.RenameInProgress());
    EXPECT_TRUE(form.TitleEdit->isVisible());
    EXPECT_EQ(form.TitleEdit->text(), "New Ambitone");
    EXPECT_EQ(form.TitleEdit->height(), 16);
    EXPECT_EQ(form.TitleEdit->width(), form.SchemeList->width());
    EXPECT_EQ(form.TitleEdit->y(), form.SchemeList->viewport()->mapTo(form.TitlesPane, QPoint(0, 0)).y());
}

TEST_F(TSchemeListTest, RenamingStoresTheTextAndEndsOnEnter)
{
    TfrmMain& form = Start();
    CreateNamed(form, "Rain Forest");
    EXPECT_FALSE(form.TitleEdit->isVisible());
    EXPECT_FALSE(form.RenameInProgress());
    EXPECT_EQ(form.SchemeList->item(0)->text(), "Rain Forest");
    EXPECT_EQ(form.lblAmbitoneTitle->text(), "Rain Forest");
    EXPECT_EQ(form.tblSchemesName->AsString(), "Rain Forest");

    // Same text: nothing is written. Esc does not cancel: losing the focus
    // then ends the edit with the text typed.
    int posts = SchemePosts;
    form.RenameSchemeExecute();
    QTest::keyClick(form.TitleEdit, Qt::Key_Return);
    EXPECT_EQ(SchemePosts, posts);

    form.RenameSchemeExecute();
    form.TitleEdit->setText("Night Harbour");
    QTest::keyClick(form.TitleEdit, Qt::Key_Escape);
    EXPECT_TRUE(form.TitleEdit->isVisible());
    form.SchemeList->setFocus();
    form.TitleEditExit(); // what the focus change runs
    EXPECT_EQ(form.tblSchemesName->AsString(), "Night Harbour");

    // An empty title is a title too.
    form.RenameSchemeExecute();
    form.TitleEdit->clear();
    QTest::keyClick(form.TitleEdit, Qt::Key_Enter);
    EXPECT_EQ(form.tblSchemesName->AsString(), "");
    EXPECT_EQ(form.SchemeList->item(0)->text(), "");
}

TEST_F(TSchemeListTest, ALongTitleIsStoredCutWhileTheListShowsItWhole)
{
    TfrmMain& form = Start();
    QString title(300, u'a');
    title.replace(249, 2, QStringLiteral("éé")); // the cut falls between two-byte characters
    CreateNamed(form, title);
    std::string stored = form.tblSchemesName->AsString();
    EXPECT_EQ(QString::fromStdString(stored), title.left(250));
    EXPECT_EQ(form.SchemeList->item(0)->text(), title);
    EXPECT_EQ(form.lblAmbitoneTitle->text(), title);
}

TEST_F(TSchemeListTest, CreatingAnotherSchemeWritesTheOpenOneBackUnchanged)
{
    TfrmMain& form = Start();
    CreateNamed(form, "First");
    form.lblLoopLength->SetValue(120);
    TBookmark first = form.tblSchemes->GetBookmark();
    CreateNamed(form, "Second");
    EXPECT_EQ(form.lblLoopLength->Value(), 60);
    EXPECT_EQ(form.OpenSchemeIndex, 1);
    form.tblSchemes->GotoBookmark(first);
    EXPECT_EQ(form.tblSchemesLoopPeriod->AsInteger(), 120);
}

TEST_F(TSchemeListTest, ClickingTheOpenSchemeDoesNothingAndAnotherStopsPlayback)
{
    TfrmMain& form = Start();
    CreateNamed(form, "First");
    form.lblLoopLength->SetValue(180);
    CreateNamed(form, "Second");
    form.PlayTimer->start();
    form.PlayScheme->setChecked(true);

    int reloads = Reloads;
    form.SchemeListClick(); // the open one is still selected
    EXPECT_EQ(Reloads, reloads);
    EXPECT_TRUE(form.PlayTimer->isActive());

    Click(form, 0);
    EXPECT_EQ(Reloads, reloads + 1);
    EXPECT_EQ(form.OpenSchemeIndex, 0);
    EXPECT_FALSE(form.PlayTimer->isActive());
    EXPECT_FALSE(form.PatternTime->isActive());
    EXPECT_FALSE(form.PlaySchemeButton->isChecked());
    EXPECT_EQ(form.lblAmbitoneTitle->text(), "First");
    EXPECT_EQ(form.lblLoopLength->Value(), 180);
    EXPECT_EQ(form.tblSchemesName->AsString(), "First");
    EXPECT_EQ(form.tblData->Filter(), "SchemeNo = " + std::to_string(form.tblSchemesRecordNo->AsInteger()));
}

TEST_F(TSchemeListTest, MovingTheCursorResetsTheLoopDisplay)
{
    TfrmMain& form = Start();
    CreateNamed(form, "First");
    CreateNamed(form, "Second");
    form.LoopPosition = 17;
    form.LoopCount->SetValue(17);
    form.PlayTime->SetValue(4242);
    form.ProgressGauge->SetProgress(28);
    form.lblLoopLength->SetValue(240);
    Click(form, 0);
    EXPECT_EQ(form.LoopPosition, 0);
    EXPECT_EQ(form.LoopCount->Value(), 0);
    EXPECT_EQ(form.PlayTime->Value(), 0);
    EXPECT_EQ(form.ProgressGauge->Progress(), 0);
    EXPECT_EQ(form.lblLoopLength->Value(), 60);
    Click(form, 1);
    EXPECT_EQ(form.lblLoopLength->Value(), 240); // written back when it was left
}

TEST_F(TSchemeListTest, DeletingAsksAndOnlyYesDeletes)
{
    TfrmMain& form = Start();
    CreateNamed(form, "Keep");
    CreateNamed(form, "Doomed");
    CreateNamed(form, "Third");
    Click(form, 1);

    Prompts.AnswerNo();
    form.DeleteSchemeExecute();
    form.DeleteSchemeExecute(); // no scripted answer: the box was closed
    EXPECT_EQ(Prompts.Texts("confirm"),
              QStringList({"Delete ambitone titled \"Doomed\"?", "Delete ambitone titled \"Doomed\"?"}));
    EXPECT_EQ(form.SchemeList->count(), 3);
    EXPECT_EQ(form.tblSchemes->RecordCount(), 3);
    EXPECT_EQ(form.OpenSchemeIndex, 1);

    Prompts.AnswerYes();
    form.PlayTimer->start();
    form.DeleteSchemeExecute();
    EXPECT_EQ(form.SchemeList->count(), 2);
    EXPECT_EQ(form.tblSchemes->RecordCount(), 2);
    EXPECT_TRUE(form.SchemeList->selectedItems().isEmpty());
    EXPECT_EQ(form.OpenSchemeIndex, -1);
    EXPECT_TRUE(form.PlayTimer->isActive()); // a deletion does not stop the timers
    EXPECT_EQ(form.SchemeList->item(1)->text(), "Third");

    // The title now in the deleted one's place opens.
    Click(form, 1);
    EXPECT_EQ(form.OpenSchemeIndex, 1);
    EXPECT_EQ(form.tblSchemesName->AsString(), "Third");
}

TEST_F(TSchemeListTest, TypingInTheListReloadsTheSelectedScheme)
{
    TfrmMain& form = Start();
    QTest::keyClick(form.SchemeList, Qt::Key_A); // nothing selected: nothing happens
    EXPECT_EQ(Reloads, 0);

    CreateNamed(form, "Alpha");
    CreateNamed(form, "Beta");
    int reloads = Reloads;
    form.SchemeList->setFocus();
    QTest::keyClick(form.SchemeList, Qt::Key_Z); // no title starts with z: the selection stays
    EXPECT_EQ(Reloads, reloads + 1);
    EXPECT_EQ(form.OpenSchemeIndex, 1);
    QTest::keyClick(form.SchemeList, Qt::Key_Down); // not a character key
    EXPECT_EQ(Reloads, reloads + 1);
}

TEST_F(TSchemeListTest, TheSchemePanelIsEnabledOnlyWithASelection)
{
    TfrmMain& form = Start();
    form.UpdateActions();
    EXPECT_FALSE(form.PropGroup->isEnabled());
    CreateNamed(form, "Alpha");
    form.UpdateActions();
    EXPECT_TRUE(form.PropGroup->isEnabled());
    Prompts.AnswerYes();
    form.DeleteSchemeExecute();
    form.UpdateActions();
    EXPECT_FALSE(form.PropGroup->isEnabled());
    EXPECT_FALSE(form.RenameScheme->isEnabled());
}

TEST_F(TSchemeListTest, TheListComesBackFromTheTableAtTheNextStart)
{
    {
        TfrmMain& form = Start();
        CreateNamed(form, "Alpha");
        CreateNamed(form, "Beta");
        CloseAndDestroy();
    }
    TfrmMain& form = Start();
    ASSERT_EQ(form.SchemeList->count(), 2);
    EXPECT_EQ(form.SchemeList->item(0)->text(), "Alpha");
    EXPECT_EQ(form.SchemeList->item(1)->text(), "Beta");
    Click(form, 0);
    EXPECT_EQ(form.lblAmbitoneTitle->text(), "Alpha");
    EXPECT_EQ(form.lblLoopLength->Value(), 60);
}

TEST_F(TSchemeListTest, TheOpenSchemeStaysSelectedWhenTheUserTriesToClearTheSelection)
{
    TfrmMain& form = Start();
    CreateNamed(form, "Alpha");
    CreateNamed(form, "Beta");
    int reloads = Reloads;
    QRect beta = form.SchemeList->visualItemRect(form.SchemeList->item(1));
    QTest::mouseClick(form.SchemeList->viewport(), Qt::LeftButton, Qt::ControlModifier, beta.center());
    EXPECT_EQ(form.SelectedSchemeIndex(), 1);
    EXPECT_EQ(form.OpenSchemeIndex, 1);
    EXPECT_EQ(Reloads, reloads);
    // A plain click on the other title opens it.
    QRect alpha = form.SchemeList->visualItemRect(form.SchemeList->item(0));
    QTest::mouseClick(form.SchemeList->viewport(), Qt::LeftButton, Qt::NoModifier, alpha.center());
    EXPECT_EQ(form.OpenSchemeIndex, 0);
    EXPECT_EQ(form.lblAmbitoneTitle->text(), "Alpha");
}
