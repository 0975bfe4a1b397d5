// The category tree: its shape after a start, creating, renaming and
// removing categories, the enabling rules, and moving by drag and drop.
#include "catalog_support.h"

#include <QAction>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>

namespace {

class TCategoryTreeTest : public TCatalogTest {
protected:

    // Rows written straight to the tables, as another program version or a
    // package import could have left them.
    int32_t AddCategoryRow(TfrmMain& form, const std::string& name, int32_t parent)
    {
        form.tblCategory->Append();
        form.tblCategoryName->SetAsString(name);
        form.tblCategoryParentNo->SetAsInteger(parent);
        form.tblCategory->Post();
        return form.tblCategoryRecordNo->AsInteger();
    }
    int32_t AddSampleRow(TfrmMain& form, const std::string& name, int32_t category)
    {
        form.tblSounds->Append();
        form.tblSoundsName->SetAsString(name);
        form.tblSoundsCategory->SetAsInteger(category);
        form.tblSounds->WriteBlob("Sound", ToneWave(200));
        form.tblSounds->Post();
        return form.tblSoundsRecordNo->AsInteger();
    }
    TfrmMain& Restart()
    {
        CloseAndDestroy();
        return Start();
    }
    bool Enabled(TfrmMain& form, const char* action)
    {
        form.UpdateActions();
        return form.ActionByName(action)->isEnabled();
    }

    // Unfiled{u1}, Weather{Rain{drizzle}, Storm{}, thunder}, Birds{}.
    void MakeCatalogue(TfrmMain& form)
    {
        form.ImportSampleFiles({WriteFile("u1.wav", ToneWave(100)), WriteFile("drizzle.wav", ToneWave(100)),
                                WriteFile("thunder.wav", ToneWave(100))});
        Weather = NewCategory(form, "Weather");
        Birds = NewCategory(form, "Birds");
        Storm = NewCategory(form, "Storm", Weather);
        Rain = NewCategory(form, "Rain", Weather);
        Drag(form, Find(form, "thunder.wav"), Weather);
        Drag(form, Find(form, "drizzle.wav"), Rain);
        ASSERT_EQ(Labels(Weather), QStringList({"Rain", "Storm", "thunder.wav"}));
    }
    QTreeWidgetItem *Weather = nullptr, *Birds = nullptr, *Storm = nullptr, *Rain = nullptr;
};

} // namespace

TEST_F(TCategoryTreeTest, AnEmptyCatalogueShowsOnlyUnfiled)
{
    TfrmMain& form = Start();
    EXPECT_EQ(RootLabels(form), QStringList{"Unfiled"});
    EXPECT_EQ(form.UnfiledNode, form.SoundTree->topLevelItem(0));
    EXPECT_EQ(TfrmMain::SoundTreeGetImageIndex(form.UnfiledNode), 5);
    EXPECT_EQ(TfrmMain::NodeData(form.UnfiledNode), nullptr);
    EXPECT_EQ(form.lblRecordCount->text(), "0 samples");
}

TEST_F(TCategoryTreeTest, AStartBuildsSubCategoriesBeforeSamplesAndHidesOrphans)
{
    TfrmMain& first = Start();
    const int32_t nature = AddCategoryRow(first, "Nature", 0);
    AddSampleRow(first, "wind.wav", nature); // older than the sub-category
    const int32_t water = AddCategoryRow(first, "Water", nature);
    AddSampleRow(first, "brook.wav", water);
    AddSampleRow(first, "loose.wav", -1);
    AddCategoryRow(first, "City", 0);
    AddSampleRow(first, "stray.wav", 999); // names no category
    AddSampleRow(first, "zero.wav", 0);    // nor does 0
    const int32_t lost = AddCategoryRow(first, "Lost", 998);
    AddSampleRow(first, "in-lost.wav", lost);
    // Two categories naming each other: unreachable from the root.
    const int32_t ringA = AddCategoryRow(first, "RingA", 0);
    const int32_t ringB = AddCategoryRow(first, "RingB", ringA);
    first.tblCategory->GotoBookmark(TBookmark{ringA});
    first.tblCategory->Edit();
    first.tblCategoryParentNo->SetAsInteger(ringB);
    first.tblCategory->Post();

    TfrmMain& form = Restart();
    EXPECT_EQ(RootLabels(form), QStringList({"Unfiled", "Nature", "City"}));
    EXPECT_EQ(Labels(form.UnfiledNode), QStringList{"loose.wav"});
    QTreeWidgetItem* natureNode = form.SoundTree->topLevelItem(1);
    EXPECT_EQ(Labels(natureNode), QStringList({"Water", "wind.wav"}));
    EXPECT_EQ(Labels(natureNode->child(0)), QStringList{"brook.wav"});
    EXPECT_EQ(Find(form, "stray.wav"), nullptr);
    EXPECT_EQ(Find(form, "zero.wav"), nullptr);
    EXPECT_EQ(Find(form, "in-lost.wav"), nullptr);
    EXPECT_EQ(Find(form, "RingA"), nullptr);
    EXPECT_EQ(form.lblRecordCount->text(), "6 samples"); // hidden rows still count

    const TCatalogNodeData* data = TfrmMain::NodeData(natureNode->child(0));
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->IsCategory);
    EXPECT_EQ(data->RecordNo, water);
    EXPECT_EQ(data->Bookmark.RecordNo, water);
    EXPECT_FALSE(form.tblSounds->Filtered());
    EXPECT_FALSE(form.tblCategory->Filtered());
}

TEST_F(TCategoryTreeTest, NewPlacesLastAtTheRootAndNewSubFirstUnderItsParentBothInLabelEdit)
{
    TfrmMain& form = Start();
    QTreeWidgetItem* a = NewCategory(form, "A");
    form.NewCategoryExecute(0);
    QTreeWidgetItem* fresh = form.SoundTree->currentItem();
    EXPECT_EQ(RootLabels(form), QStringList({"Unfiled", "A", "New Category"}));
    EXPECT_TRUE(form.SoundTree->IsEditingLabel());
    auto* editor = LabelEditor(form);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "New Category");
    // Escape keeps the name it was given.
    Escape(editor);
    EXPECT_FALSE(form.SoundTree->IsEditingLabel());
    EXPECT_EQ(fresh->text(0), "New Category");
    form.tblCategory->GotoBookmark(TfrmMain::NodeData(fresh)->Bookmark);
    EXPECT_EQ(form.tblCategoryName->AsString(), "New Category");
    EXPECT_EQ(form.tblCategoryParentNo->AsInteger(), 0);

    NewCategory(form, "A2", a);
    QTreeWidgetItem* first = NewCategory(form, "A1", a);
    EXPECT_EQ(Labels(a), QStringList({"A1", "A2"}));
    EXPECT_TRUE(a->isExpanded());
    form.tblCategory->GotoBookmark(TfrmMain::NodeData(first)->Bookmark);
    EXPECT_EQ(form.tblCategoryParentNo->AsInteger(), TfrmMain::NodeData(a)->RecordNo);

    // New Sub on a sample nests in the sample's category.
    form.ImportSampleFiles({WriteFile("s.wav", ToneWave(100))});
    Drag(form, Find(form, "s.wav"), first);
    NewCategory(form, "Beside", Find(form, "s.wav"));
    EXPECT_EQ(Labels(first), QStringList({"Beside", "s.wav"}));
    EXPECT_EQ(CategoryRows(form), 5);
}

TEST_F(TCategoryTreeTest, EnablingFollowsTheSelectedNode)
{
    TfrmMain& form = Start();
    form.ImportSampleFiles({WriteFile("loose.wav", ToneWave(100)), WriteFile("filed.wav", ToneWave(100))});
    QTreeWidgetItem* category = NewCategory(form, "Cat");
    Drag(form, Find(form, "filed.wav"), category);

    struct TCase {
        const char* Node;
        bool NewSub, Remove, SampleActions;
    };
    for (TCase c : {TCase{"", false, false, false}, TCase{"Unfiled", false, false, false},
                    TCase{"loose.wav", false, false, true}, TCase{"Cat", true, true, false},
                    TCase{"filed.wav", true, false, true}}) {
        SCOPED_TRACE(c.Node);
        if (*c.Node)
            Select(form, Find(form, c.Node));
        else
            form.SoundTree->clearSelection();
        EXPECT_TRUE(Enabled(form, "NewCategory"));
        EXPECT_TRUE(Enabled(form, "ImportSamples"));
        EXPECT_EQ(Enabled(form, "NewSubCategory"), c.NewSub);
        EXPECT_EQ(Enabled(form, "RemoveCategory"), c.Remove);
        EXPECT_EQ(Enabled(form, "ExportCategory"), c.Remove);
        for (const char* action : {"PlaySample", "DeleteSample", "ExportSample", "FixEndingPop"})
            EXPECT_EQ(Enabled(form, action), c.SampleActions) << action;
    }
}

TEST_F(TCategoryTreeTest, RenamingStoresTheLabelAndUnfiledCannotBeRenamed)
{
    TfrmMain& form = Start();
    form.ImportSampleFiles({WriteFile("rain.wav", ToneWave(100))});
    QTreeWidgetItem* category = NewCategory(form, "Weather");
    EXPECT_EQ(category->text(0), "Weather");

    QTreeWidgetItem* sample = Find(form, "rain.wav");
    Select(form, sample);
    form.SoundTree->StartEdit(sample);
    auto* editor = LabelEditor(form);
    ASSERT_NE(editor, nullptr);
    editor->setText("Soft rain");
    Enter(editor);
    EXPECT_EQ(sample->text(0), "Soft rain");

    EXPECT_FALSE(form.SoundTreeEditing(form.UnfiledNode));
    Select(form, form.UnfiledNode);
    form.SoundTree->StartEdit(form.UnfiledNode);
    EXPECT_FALSE(form.SoundTree->IsEditingLabel());

    // A label longer than the field shows what the row keeps.
    form.SoundTreeEdited(category, QString(300, QLatin1Char('w')));
    EXPECT_EQ(category->text(0).size(), 250);

    TfrmMain& again = Restart();
    EXPECT_EQ(RootLabels(again), QStringList({"Unfiled", QString(250, QLatin1Char('w'))}));
    EXPECT_EQ(Labels(again.UnfiledNode), QStringList{"Soft rain"});
}

TEST_F(TCategoryTreeTest, RemovingAnEmptyCategoryAsksYesOrNo)
{
    TfrmMain& form = Start();
    QTreeWidgetItem* empty = NewCategory(form, "Empty");
    Select(form, empty);
    Prompts.AnswerNo();
    form.RemoveCategoryExecute();
    EXPECT_EQ(Prompts.Texts("confirm"), QStringList{"Delete category \"Empty\"?"});
    EXPECT_EQ(RootLabels(form), QStringList({"Unfiled", "Empty"}));

    Prompts.AnswerYes();
    form.RemoveCategoryExecute();
    EXPECT_EQ(RootLabels(form), QStringList{"Unfiled"});
    EXPECT_EQ(CategoryRows(form), 0);
}

TEST_F(TCategoryTreeTest, RemovingAFullCategoryOffersDeleteMoveAndCancel)
{
    TfrmMain& form = Start();
    MakeCatalogue(form);
    Select(form, Weather);
    for (int answer : {2, -1}) { // Cancel, and the box closed
        Prompts.AnswerButton(answer);
        form.RemoveCategoryExecute();
    }
    const QString question = "Confirm|The \"Weather\" category contains sub-categories and/or samples.\r\n"
                             "Do you want to delete all sub-items including the samples, or\r\n"
                             "move all the samples to the \"Unfiled\" category before deleting?|Delete,Move,Cancel";
    EXPECT_EQ(Prompts.Texts("choose"), QStringList({question, question}));
    EXPECT_EQ(CategoryRows(form), 4);
    EXPECT_EQ(SoundRows(form), 3);
    EXPECT_EQ(Labels(Weather).size(), 3);

    Prompts.AnswerButton(0);
    form.RemoveCategoryExecute();
    EXPECT_EQ(RootLabels(form), QStringList({"Unfiled", "Birds"}));
    EXPECT_EQ(CategoryRows(form), 1);
    EXPECT_EQ(SoundRows(form), 1); // both samples went, at any depth
    EXPECT_EQ(form.lblRecordCount->text(), "1 samples");
    EXPECT_EQ(Labels(form.UnfiledNode), QStringList{"u1.wav"});
}

TEST_F(TCategoryTreeTest, MoveRefilesEverySampleUnderUnfiledInTreeOrder)
{
    TfrmMain& form = Start();
    MakeCatalogue(form);
    Select(form, Weather);
    Prompts.AnswerButton(1);
    form.RemoveCategoryExecute();
    EXPECT_EQ(RootLabels(form), QStringList({"Unfiled", "Birds"}));
    EXPECT_EQ(Labels(form.UnfiledNode), QStringList({"u1.wav", "drizzle.wav", "thunder.wav"}));
    EXPECT_EQ(SoundRows(form), 3);
    EXPECT_EQ(CategoryRows(form), 1);

    TfrmMain& again = Restart();
    EXPECT_EQ(Labels(again.UnfiledNode), QStringList({"u1.wav", "drizzle.wav", "thunder.wav"}));
    EXPECT_EQ(RootLabels(again), QStringList({"Unfiled", "Birds"}));
}

TEST_F(TCategoryTreeTest, DropsFollowTheTreeRules)
{
    TfrmMain& form = Start();
    MakeCatalogue(form);
    form.ImportSampleFiles({WriteFile("hail.wav", ToneWave(100))});
    QTreeWidgetItem* hail = Find(form, "hail.wav");
    Drag(form, hail, Weather);
    QTreeWidgetItem* thunder = Find(form, "thunder.wav");
    QTreeWidgetItem* drizzle = Find(form, "drizzle.wav");
    QTreeWidgetItem* u1 = Find(form, "u1.wav");
    QTreeWidgetItem* deep = NewCategory(form, "Deep", Rain); // Weather > Rain > Deep

    struct TCase {
        const char* What;
        QTreeWidgetItem *Dragged, *Target;
    };
    // None of these may change anything.
    for (TCase c : {TCase{"sample onto its sibling sample", thunder, hail},
                    TCase{"sample onto its own category", thunder, Weather},
                    TCase{"sample onto itself", thunder, thunder},
                    TCase{"sample onto Unfiled", thunder, form.UnfiledNode},
                    TCase{"sample onto a sample under Unfiled", thunder, u1},
                    TCase{"Unfiled onto a category", form.UnfiledNode, Birds},
                    TCase{"sub-sub-category onto its grandparent", deep, Weather},
                    TCase{"category onto its parent", deep, Rain},
                    TCase{"category into its own subtree", Weather, deep},
                    TCase{"category onto a sample inside it", Weather, thunder},
                    TCase{"category onto Unfiled", Birds, form.UnfiledNode},
                    TCase{"onto nothing", thunder, nullptr}}) {
        SCOPED_TRACE(c.What);
        QTreeWidgetItem* parentBefore = c.Dragged->parent();
        const int index = parentBefore ? parentBefore->indexOfChild(c.Dragged) : -1;
        Select(form, c.Dragged);
        form.SoundTreeStartDrag();
        EXPECT_FALSE(form.SoundTreeDragOver(c.Target, 20));
        form.SoundTreeDragDrop(c.Target);
        form.SoundTreeEndDrag();
        EXPECT_EQ(c.Dragged->parent(), parentBefore);
        if (parentBefore) {
            EXPECT_EQ(parentBefore->indexOfChild(c.Dragged), index);
        }
    }
    EXPECT_EQ(RootLabels(form), QStringList({"Unfiled", "Weather", "Birds"}));

    // A sample leaves Unfiled onto a sample of a category: it joins that
    // sample's category, last.
    Drag(form, u1, thunder);
    EXPECT_EQ(Labels(Weather), QStringList({"Rain", "Storm", "thunder.wav", "hail.wav", "u1.wav"}));
    // The sub-sub-category onto an unrelated category: it moves, last, and
    // the target opens.
    Birds->setExpanded(false);
    Drag(form, deep, Birds);
    EXPECT_EQ(deep->parent(), Birds);
    EXPECT_TRUE(Birds->isExpanded());
    EXPECT_EQ(TfrmMain::SoundTreeGetImageIndex(Birds), 4);
    // A sample dropped onto a category further up moves up.
    Drag(form, drizzle, Weather);
    EXPECT_EQ(Labels(Weather).last(), "drizzle.wav");
    EXPECT_EQ(form.SoundTree->currentItem(), drizzle); // the moved node stays selected

    form.tblSounds->GotoBookmark(TfrmMain::NodeData(drizzle)->Bookmark);
    EXPECT_EQ(form.tblSoundsCategory->AsInteger(), TfrmMain::NodeData(Weather)->RecordNo);
    form.tblCategory->GotoBookmark(TfrmMain::NodeData(deep)->Bookmark);
    EXPECT_EQ(form.tblCategoryParentNo->AsInteger(), TfrmMain::NodeData(Birds)->RecordNo);
}

TEST_F(TCategoryTreeTest, AfterARestartSubCategoriesComeBeforeSamplesAgain)
{
    TfrmMain& form = Start();
    MakeCatalogue(form);
    // A category dropped into Weather lands after its samples...
    Drag(form, Birds, Weather);
    EXPECT_EQ(Labels(Weather), QStringList({"Rain", "Storm", "thunder.wav", "Birds"}));
    // ...until the tree is built again.
    TfrmMain& again = Restart();
    QTreeWidgetItem* weather = Find(again, "Weather");
    EXPECT_EQ(Labels(weather), QStringList({"Birds", "Storm", "Rain", "thunder.wav"})); // by RecordNo
    EXPECT_EQ(Labels(Find(again, "Rain")), QStringList{"drizzle.wav"});
}

TEST_F(TCategoryTreeTest, TheEdgesScrollTheTreeDuringADragUntilItEnds)
{
    TfrmMain& form = Start();
    form.resize(700, 400);
    QTreeWidgetItem* big = NewCategory(form, "Big");
    QStringList files;
    for (int i = 0; i < 60; ++i)
        files << WriteFile(QString("s%1.wav").arg(i, 2, 10, QLatin1Char('0')), ToneWave(50));
    form.ImportSampleFiles(files);
    QCoreApplication::processEvents(); // the view lays out its rows later
    QScrollBar* bar = form.SoundTree->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 2);

    Select(form, Find(form, "s30.wav"));
    form.SoundTreeStartDrag();
    const int height = form.SoundTree->viewport()->height();
    form.SoundTreeDragOver(big, height - 2);
    EXPECT_TRUE(form.ScrollTimer->isActive());
    EXPECT_FALSE(form.ScrollUp);
    bar->setValue(1);
    form.ScrollTimerTimer();
    EXPECT_EQ(bar->value(), 2);

    form.SoundTreeDragOver(big, 2); // the top band
    EXPECT_TRUE(form.ScrollTimer->isActive());
    EXPECT_TRUE(form.ScrollUp);
    form.ScrollTimerTimer();
    EXPECT_EQ(bar->value(), 1);

    form.SoundTreeDragOver(big, height / 2);
    EXPECT_FALSE(form.ScrollTimer->isActive());
    form.SoundTreeDragOver(big, height - 1);
    EXPECT_TRUE(form.ScrollTimer->isActive());
    form.SoundTreeEndDrag(); // dropped or cancelled in the band
    EXPECT_FALSE(form.ScrollTimer->isActive());
}

TEST_F(TCategoryTreeTest, TheViewsDragEventsReachTheWindow)
{
    TfrmMain& form = Start();
    MakeCatalogue(form);
    Birds->setExpanded(true);
    QTreeWidgetItem* thunder = Find(form, "thunder.wav");
    Select(form, thunder);
    form.SoundTreeStartDrag();

    QMimeData mime;
    mime.setData(TSoundTree::NodeMimeType, "thunder.wav");
    const QPoint onBirds = form.SoundTree->visualItemRect(Birds).center();
    QDragEnterEvent enter(onBirds, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.SoundTree->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent over(onBirds, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.SoundTree->viewport(), &over);
    EXPECT_TRUE(over.isAccepted());
    EXPECT_EQ(form.SoundTree->DropTarget(), Birds); // drawn highlighted
    const QPoint onUnfiled = form.SoundTree->visualItemRect(form.UnfiledNode).center();
    QDragMoveEvent refused(onUnfiled, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.SoundTree->viewport(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(form.SoundTree->DropTarget(), nullptr);
    QApplication::sendEvent(form.SoundTree->viewport(), &over);

    QDropEvent drop(QPointF(onBirds), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(form.SoundTree->viewport(), &drop);
    form.SoundTreeEndDrag();
    EXPECT_EQ(form.SoundTree->DropTarget(), nullptr);
    EXPECT_EQ(thunder->parent(), Birds);
    EXPECT_EQ(Labels(Weather), QStringList({"Rain", "Storm"}));
}

TEST_F(TCategoryTreeTest, CategoriesShowOpenAndClosedFolders)
{
    TfrmMain& form = Start();
    MakeCatalogue(form);
    Weather->setExpanded(true);
    Birds->setExpanded(false);
    EXPECT_EQ(Weather->data(0, TfrmMain::NodeImageRole).toInt(), 4);
    EXPECT_EQ(Birds->data(0, TfrmMain::NodeImageRole).toInt(), 3);
    EXPECT_EQ(Find(form, "thunder.wav")->data(0, TfrmMain::NodeImageRole).toInt(), 2);
    for (QTreeWidgetItem* node : {static_cast<QTreeWidgetItem*>(form.UnfiledNode), Weather, Birds})
        EXPECT_FALSE(node->icon(0).isNull());
    EXPECT_NE(Weather->icon(0).cacheKey(), Birds->icon(0).cacheKey());
    // Selecting a category makes its row the current one.
    Select(form, Birds);
    EXPECT_EQ(form.tblCategoryName->AsString(), "Birds");
}
