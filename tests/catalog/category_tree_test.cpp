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
    int32_t AddCategoryRow(const std::string& name, int32_t parent)
    {
        Tables().tblCategory->Append();
        Tables().tblCategoryName->SetAsString(name);
        Tables().tblCategoryParentNo->SetAsInteger(parent);
        Tables().tblCategory->Post();
        return Tables().tblCategoryRecordNo->AsInteger();
    }
    int32_t AddSampleRow(const std::string& name, int32_t category)
    {
        Tables().tblSounds->Append();
        Tables().tblSoundsName->SetAsString(name);
        Tables().tblSoundsCategory->SetAsInteger(category);
        Tables().tblSounds->WriteBlob("Sound", ToneWave(200));
        Tables().tblSounds->Post();
        return Tables().tblSoundsRecordNo->AsInteger();
    }
    TfrmMain& Restart()
    {
        CloseAndDestroy();
        return Start();
    }
    bool Enabled(const char* action)
    {
        Ui().Update();
        return Ui().Action(action)->isEnabled();
    }

    // Unfiled{u1}, Weather{Rain{drizzle}, Storm{}, thunder}, Birds{}.
    void MakeCatalogue()
    {
        Catalog().ImportSampleFiles({WriteFile("u1.wav", ToneWave(100)), WriteFile("drizzle.wav", ToneWave(100)),
                                WriteFile("thunder.wav", ToneWave(100))});
        Weather = NewCategory("Weather");
        Birds = NewCategory("Birds");
        Storm = NewCategory("Storm", Weather);
        Rain = NewCategory("Rain", Weather);
        Drag(Find("thunder.wav"), Weather);
        Drag(Find("drizzle.wav"), Rain);
        ASSERT_EQ(Labels(Weather), QStringList({"Rain", "Storm", "thunder.wav"}));
    }
    QTreeWidgetItem *Weather = nullptr, *Birds = nullptr, *Storm = nullptr, *Rain = nullptr;
};

} // namespace

TEST_F(TCategoryTreeTest, AnEmptyCatalogueShowsOnlyUnfiled)
{
    Start();
    EXPECT_EQ(RootLabels(), QStringList{"Unfiled"});
    EXPECT_EQ(Unfiled(), Tree()->topLevelItem(0));
    EXPECT_EQ(TCatalogPanel::SoundTreeGetImageIndex(Unfiled()), 5);
    EXPECT_EQ(CatalogNodeData(Unfiled()), nullptr);
    EXPECT_EQ(Ui().Find<QLabel>("lblRecordCount")->text(), "0 samples");
}

TEST_F(TCategoryTreeTest, AStartBuildsSubCategoriesBeforeSamplesAndHidesOrphans)
{
    Start();
    const int32_t nature = AddCategoryRow("Nature", 0);
    AddSampleRow("wind.wav", nature); // older than the sub-category
    const int32_t water = AddCategoryRow("Water", nature);
    AddSampleRow("brook.wav", water);
    AddSampleRow("loose.wav", -1);
    AddCategoryRow("City", 0);
    AddSampleRow("stray.wav", 999); // names no category
    AddSampleRow("zero.wav", 0);    // nor does 0
    const int32_t lost = AddCategoryRow("Lost", 998);
    AddSampleRow("in-lost.wav", lost);
    // Two categories naming each other: unreachable from the root.
    const int32_t ringA = AddCategoryRow("RingA", 0);
    const int32_t ringB = AddCategoryRow("RingB", ringA);
    Tables().tblCategory->GotoBookmark(TBookmark{ringA});
    Tables().tblCategory->Edit();
    Tables().tblCategoryParentNo->SetAsInteger(ringB);
    Tables().tblCategory->Post();

    Restart();
    EXPECT_EQ(RootLabels(), QStringList({"Unfiled", "Nature", "City"}));
    EXPECT_EQ(Labels(Unfiled()), QStringList{"loose.wav"});
    QTreeWidgetItem* natureNode = Tree()->topLevelItem(1);
    EXPECT_EQ(Labels(natureNode), QStringList({"Water", "wind.wav"}));
    EXPECT_EQ(Labels(natureNode->child(0)), QStringList{"brook.wav"});
    EXPECT_EQ(Find("stray.wav"), nullptr);
    EXPECT_EQ(Find("zero.wav"), nullptr);
    EXPECT_EQ(Find("in-lost.wav"), nullptr);
    EXPECT_EQ(Find("RingA"), nullptr);
    EXPECT_EQ(Ui().Find<QLabel>("lblRecordCount")->text(), "6 samples"); // hidden rows still count

    const TCatalogNodeData* data = CatalogNodeData(natureNode->child(0));
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->IsCategory);
    EXPECT_EQ(data->RecordNo, water);
    EXPECT_EQ(data->Bookmark.RecordNo, water);
    EXPECT_FALSE(Tables().tblSounds->Filtered());
    EXPECT_FALSE(Tables().tblCategory->Filtered());
}

TEST_F(TCategoryTreeTest, NewPlacesLastAtTheRootAndNewSubFirstUnderItsParentBothInLabelEdit)
{
    Start();
    QTreeWidgetItem* a = NewCategory("A");
    EXPECT_TRUE(Ui().Trigger("NewCategory"));
    QTreeWidgetItem* fresh = Tree()->currentItem();
    EXPECT_EQ(RootLabels(), QStringList({"Unfiled", "A", "New Category"}));
    EXPECT_TRUE(Tree()->IsEditingLabel());
    auto* editor = LabelEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "New Category");
    // Escape keeps the name it was given.
    Escape(editor);
    EXPECT_FALSE(Tree()->IsEditingLabel());
    EXPECT_EQ(fresh->text(0), "New Category");
    Tables().tblCategory->GotoBookmark(CatalogNodeData(fresh)->Bookmark);
    EXPECT_EQ(Tables().tblCategoryName->AsString(), "New Category");
    EXPECT_EQ(Tables().tblCategoryParentNo->AsInteger(), 0);

    NewCategory("A2", a);
    QTreeWidgetItem* first = NewCategory("A1", a);
    EXPECT_EQ(Labels(a), QStringList({"A1", "A2"}));
    EXPECT_TRUE(a->isExpanded());
    Tables().tblCategory->GotoBookmark(CatalogNodeData(first)->Bookmark);
    EXPECT_EQ(Tables().tblCategoryParentNo->AsInteger(), CatalogNodeData(a)->RecordNo);

    // New Sub on a sample nests in the sample's category.
    Catalog().ImportSampleFiles({WriteFile("s.wav", ToneWave(100))});
    Drag(Find("s.wav"), first);
    NewCategory("Beside", Find("s.wav"));
    EXPECT_EQ(Labels(first), QStringList({"Beside", "s.wav"}));
    EXPECT_EQ(CategoryRows(), 5);
}

TEST_F(TCategoryTreeTest, EnablingFollowsTheSelectedNode)
{
    Start();
    Catalog().ImportSampleFiles({WriteFile("loose.wav", ToneWave(100)), WriteFile("filed.wav", ToneWave(100))});
    QTreeWidgetItem* category = NewCategory("Cat");
    Drag(Find("filed.wav"), category);

    struct TCase {
        const char* Node;
        bool NewSub, Remove, SampleActions;
    };
    for (TCase c : {TCase{"", false, false, false}, TCase{"Unfiled", false, false, false},
                    TCase{"loose.wav", false, false, true}, TCase{"Cat", true, true, false},
                    TCase{"filed.wav", true, false, true}}) {
        SCOPED_TRACE(c.Node);
        if (*c.Node)
            Select(Find(c.Node));
        else
            Tree()->clearSelection();
        EXPECT_TRUE(Enabled("NewCategory"));
        EXPECT_TRUE(Enabled("ImportSamples"));
        EXPECT_EQ(Enabled("NewSubCategory"), c.NewSub);
        EXPECT_EQ(Enabled("RemoveCategory"), c.Remove);
        EXPECT_EQ(Enabled("ExportCategory"), c.Remove);
        for (const char* action : {"PlaySample", "DeleteSample", "ExportSample", "FixEndingPop"})
            EXPECT_EQ(Enabled(action), c.SampleActions) << action;
    }
}

TEST_F(TCategoryTreeTest, RenamingStoresTheLabelAndUnfiledCannotBeRenamed)
{
    Start();
    Catalog().ImportSampleFiles({WriteFile("rain.wav", ToneWave(100))});
    QTreeWidgetItem* category = NewCategory("Weather");
    EXPECT_EQ(category->text(0), "Weather");

    QTreeWidgetItem* sample = Find("rain.wav");
    Select(sample);
    Tree()->StartEdit(sample);
    auto* editor = LabelEditor();
    ASSERT_NE(editor, nullptr);
    editor->setText("Soft rain");
    Enter(editor);
    EXPECT_EQ(sample->text(0), "Soft rain");

    EXPECT_FALSE(Catalog().SoundTreeEditing(Unfiled()));
    Select(Unfiled());
    Tree()->StartEdit(Unfiled());
    EXPECT_FALSE(Tree()->IsEditingLabel());

    // A label longer than the field shows what the row keeps.
    Catalog().SoundTreeEdited(category, QString(300, QLatin1Char('w')));
    EXPECT_EQ(category->text(0).size(), 250);

    Restart();
    EXPECT_EQ(RootLabels(), QStringList({"Unfiled", QString(250, QLatin1Char('w'))}));
    EXPECT_EQ(Labels(Unfiled()), QStringList{"Soft rain"});
}

TEST_F(TCategoryTreeTest, RemovingAnEmptyCategoryAsksYesOrNo)
{
    Start();
    QTreeWidgetItem* empty = NewCategory("Empty");
    Select(empty);
    Prompts.AnswerNo();
    EXPECT_TRUE(Ui().Trigger("RemoveCategory"));
    EXPECT_EQ(Prompts.Texts("confirm"), QStringList{"Delete category \"Empty\"?"});
    EXPECT_EQ(RootLabels(), QStringList({"Unfiled", "Empty"}));

    Prompts.AnswerYes();
    EXPECT_TRUE(Ui().Trigger("RemoveCategory"));
    EXPECT_EQ(RootLabels(), QStringList{"Unfiled"});
    EXPECT_EQ(CategoryRows(), 0);
}

TEST_F(TCategoryTreeTest, RemovingAFullCategoryOffersDeleteMoveAndCancel)
{
    Start();
    MakeCatalogue();
    Select(Weather);
    for (int answer : {2, -1}) { // Cancel, and the box closed
        Prompts.AnswerButton(answer);
        EXPECT_TRUE(Ui().Trigger("RemoveCategory"));
    }
    const QString question = "Confirm|The \"Weather\" category contains sub-categories and/or samples.\r\n"
                             "Do you want to delete all sub-items including the samples, or\r\n"
                             "move all the samples to the \"Unfiled\" category before deleting?|Delete,Move,Cancel";
    EXPECT_EQ(Prompts.Texts("choose"), QStringList({question, question}));
    EXPECT_EQ(CategoryRows(), 4);
    EXPECT_EQ(SoundRows(), 3);
    EXPECT_EQ(Labels(Weather).size(), 3);

    Prompts.AnswerButton(0);
    EXPECT_TRUE(Ui().Trigger("RemoveCategory"));
    EXPECT_EQ(RootLabels(), QStringList({"Unfiled", "Birds"}));
    EXPECT_EQ(CategoryRows(), 1);
    EXPECT_EQ(SoundRows(), 1); // both samples went, at any depth
    EXPECT_EQ(Ui().Find<QLabel>("lblRecordCount")->text(), "1 samples");
    EXPECT_EQ(Labels(Unfiled()), QStringList{"u1.wav"});
}

TEST_F(TCategoryTreeTest, MoveRefilesEverySampleUnderUnfiledInTreeOrder)
{
    Start();
    MakeCatalogue();
    Select(Weather);
    Prompts.AnswerButton(1);
    EXPECT_TRUE(Ui().Trigger("RemoveCategory"));
    EXPECT_EQ(RootLabels(), QStringList({"Unfiled", "Birds"}));
    EXPECT_EQ(Labels(Unfiled()), QStringList({"u1.wav", "drizzle.wav", "thunder.wav"}));
    EXPECT_EQ(SoundRows(), 3);
    EXPECT_EQ(CategoryRows(), 1);

    Restart();
    EXPECT_EQ(Labels(Unfiled()), QStringList({"u1.wav", "drizzle.wav", "thunder.wav"}));
    EXPECT_EQ(RootLabels(), QStringList({"Unfiled", "Birds"}));
}

TEST_F(TCategoryTreeTest, DropsFollowTheTreeRules)
{
    Start();
    MakeCatalogue();
    Catalog().ImportSampleFiles({WriteFile("hail.wav", ToneWave(100))});
    QTreeWidgetItem* hail = Find("hail.wav");
    Drag(hail, Weather);
    QTreeWidgetItem* thunder = Find("thunder.wav");
    QTreeWidgetItem* drizzle = Find("drizzle.wav");
    QTreeWidgetItem* u1 = Find("u1.wav");
    QTreeWidgetItem* deep = NewCategory("Deep", Rain); // Weather > Rain > Deep

    struct TCase {
        const char* What;
        QTreeWidgetItem *Dragged, *Target;
    };
    // None of these may change anything.
    for (TCase c : {TCase{"sample onto its sibling sample", thunder, hail},
                    TCase{"sample onto its own category", thunder, Weather},
                    TCase{"sample onto itself", thunder, thunder},
                    TCase{"sample onto Unfiled", thunder, Unfiled()},
                    TCase{"sample onto a sample under Unfiled", thunder, u1},
                    TCase{"Unfiled onto a category", Unfiled(), Birds},
                    TCase{"sub-sub-category onto its grandparent", deep, Weather},
                    TCase{"category onto its parent", deep, Rain},
                    TCase{"category into its own subtree", Weather, deep},
                    TCase{"category onto a sample inside it", Weather, thunder},
                    TCase{"category onto Unfiled", Birds, Unfiled()},
                    TCase{"onto nothing", thunder, nullptr}}) {
        SCOPED_TRACE(c.What);
        QTreeWidgetItem* parentBefore = c.Dragged->parent();
        const int index = parentBefore ? parentBefore->indexOfChild(c.Dragged) : -1;
        Select(c.Dragged);
        Catalog().SoundTreeStartDrag();
        EXPECT_FALSE(Catalog().SoundTreeDragOver(c.Target, 20));
        Catalog().SoundTreeDragDrop(c.Target);
        Catalog().SoundTreeEndDrag();
        EXPECT_EQ(c.Dragged->parent(), parentBefore);
        if (parentBefore) {
            EXPECT_EQ(parentBefore->indexOfChild(c.Dragged), index);
        }
    }
    EXPECT_EQ(RootLabels(), QStringList({"Unfiled", "Weather", "Birds"}));

    // A sample leaves Unfiled onto a sample of a category: it joins that
    // sample's category, last.
    Drag(u1, thunder);
    EXPECT_EQ(Labels(Weather), QStringList({"Rain", "Storm", "thunder.wav", "hail.wav", "u1.wav"}));
    // The sub-sub-category onto an unrelated category: it moves, last, and
    // the target opens.
    Birds->setExpanded(false);
    Drag(deep, Birds);
    EXPECT_EQ(deep->parent(), Birds);
    EXPECT_TRUE(Birds->isExpanded());
    EXPECT_EQ(TCatalogPanel::SoundTreeGetImageIndex(Birds), 4);
    // A sample dropped onto a category further up moves up.
    Drag(drizzle, Weather);
    EXPECT_EQ(Labels(Weather).last(), "drizzle.wav");
    EXPECT_EQ(Tree()->currentItem(), drizzle); // the moved node stays selected

    Tables().tblSounds->GotoBookmark(CatalogNodeData(drizzle)->Bookmark);
    EXPECT_EQ(Tables().tblSoundsCategory->AsInteger(), CatalogNodeData(Weather)->RecordNo);
    Tables().tblCategory->GotoBookmark(CatalogNodeData(deep)->Bookmark);
    EXPECT_EQ(Tables().tblCategoryParentNo->AsInteger(), CatalogNodeData(Birds)->RecordNo);
}

TEST_F(TCategoryTreeTest, AfterARestartSubCategoriesComeBeforeSamplesAgain)
{
    Start();
    MakeCatalogue();
    // A category dropped into Weather lands after its samples...
    Drag(Birds, Weather);
    EXPECT_EQ(Labels(Weather), QStringList({"Rain", "Storm", "thunder.wav", "Birds"}));
    // ...until the tree is built again.
    Restart();
    QTreeWidgetItem* weather = Find("Weather");
    EXPECT_EQ(Labels(weather), QStringList({"Birds", "Storm", "Rain", "thunder.wav"})); // by RecordNo
    EXPECT_EQ(Labels(Find("Rain")), QStringList{"drizzle.wav"});
}

TEST_F(TCategoryTreeTest, TheEdgesScrollTheTreeDuringADragUntilItEnds)
{
    TfrmMain& form = Start();
    form.resize(700, 400);
    QTreeWidgetItem* big = NewCategory("Big");
    QStringList files;
    for (int i = 0; i < 60; ++i)
        files << WriteFile(QString("s%1.wav").arg(i, 2, 10, QLatin1Char('0')), ToneWave(50));
    Catalog().ImportSampleFiles(files);
    QCoreApplication::processEvents(); // the view lays out its rows later
    QScrollBar* bar = Tree()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 2);

    Select(Find("s30.wav"));
    Catalog().SoundTreeStartDrag();
    const int height = Tree()->viewport()->height();
    Catalog().SoundTreeDragOver(big, height - 2);
    EXPECT_TRUE(Catalog().ScrollTimer->isActive());
    EXPECT_FALSE(Catalog().ScrollingUp());
    bar->setValue(1);
    Catalog().ScrollTimerTimer();
    EXPECT_EQ(bar->value(), 2);

    Catalog().SoundTreeDragOver(big, 2); // the top band
    EXPECT_TRUE(Catalog().ScrollTimer->isActive());
    EXPECT_TRUE(Catalog().ScrollingUp());
    Catalog().ScrollTimerTimer();
    EXPECT_EQ(bar->value(), 1);

    Catalog().SoundTreeDragOver(big, height / 2);
    EXPECT_FALSE(Catalog().ScrollTimer->isActive());
    Catalog().SoundTreeDragOver(big, height - 1);
    EXPECT_TRUE(Catalog().ScrollTimer->isActive());
    Catalog().SoundTreeEndDrag(); // dropped or cancelled in the band
    EXPECT_FALSE(Catalog().ScrollTimer->isActive());
}

TEST_F(TCategoryTreeTest, TheViewsDragEventsReachTheWindow)
{
    Start();
    MakeCatalogue();
    Birds->setExpanded(true);
    QTreeWidgetItem* thunder = Find("thunder.wav");
    Select(thunder);
    Catalog().SoundTreeStartDrag();

    QMimeData mime;
    mime.setData(TSoundTree::NodeMimeType, "thunder.wav");
    const QPoint onBirds = Tree()->visualItemRect(Birds).center();
    QDragEnterEvent enter(onBirds, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDragMoveEvent over(onBirds, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &over);
    EXPECT_TRUE(over.isAccepted());
    EXPECT_EQ(Tree()->DropTarget(), Birds); // drawn highlighted
    const QPoint onUnfiled = Tree()->visualItemRect(Unfiled()).center();
    QDragMoveEvent refused(onUnfiled, Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &refused);
    EXPECT_FALSE(refused.isAccepted());
    EXPECT_EQ(Tree()->DropTarget(), nullptr);
    QApplication::sendEvent(Tree()->viewport(), &over);

    QDropEvent drop(QPointF(onBirds), Qt::MoveAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(Tree()->viewport(), &drop);
    Catalog().SoundTreeEndDrag();
    EXPECT_EQ(Tree()->DropTarget(), nullptr);
    EXPECT_EQ(thunder->parent(), Birds);
    EXPECT_EQ(Labels(Weather), QStringList({"Rain", "Storm"}));
}

TEST_F(TCategoryTreeTest, CategoriesShowOpenAndClosedFolders)
{
    Start();
    MakeCatalogue();
    Weather->setExpanded(true);
    Birds->setExpanded(false);
    EXPECT_EQ(Weather->data(0, TCatalogNode::NodeImageRole).toInt(), 4);
    EXPECT_EQ(Birds->data(0, TCatalogNode::NodeImageRole).toInt(), 3);
    EXPECT_EQ(Find("thunder.wav")->data(0, TCatalogNode::NodeImageRole).toInt(), 2);
    for (QTreeWidgetItem* node : {static_cast<QTreeWidgetItem*>(Unfiled()), Weather, Birds})
        EXPECT_FALSE(node->icon(0).isNull());
    EXPECT_NE(Weather->icon(0).cacheKey(), Birds->icon(0).cacheKey());
    // Selecting a category makes its row the current one.
    Select(Birds);
    EXPECT_EQ(Tables().tblCategoryName->AsString(), "Birds");
}
