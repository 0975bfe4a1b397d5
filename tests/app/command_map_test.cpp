// The command map on its own: handlers run behind the one guard, a failing
// enabling rule spoils no other, and menus are built from names.
#include "app/command_map.h"
#include "base/error.h"
#include "support/scripted_prompts.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct TCommandMapTest : ::testing::Test {
    QWidget Owner;
    TScriptedPrompts Prompts;
    TCommandMap Map{&Owner, &Prompts};
};

} // namespace

TEST_F(TCommandMapTest, AHandlerThatFailsIsShownAndGoesNoFurther)
{
    int runs = 0;
    Map.Add({"Fails", "Test", "Fails", {}, [] { throw EAmbitoneError("disk full"); }});
    Map.Add({"Works", "Test", "Works", {}, [&runs] { ++runs; }});
    EXPECT_NO_THROW(Map.Action("Fails")->trigger());
    EXPECT_EQ(Prompts.Texts("error"), QStringList({"disk full"}));
    Map.Action("Works")->trigger();
    EXPECT_EQ(runs, 1);
}

TEST_F(TCommandMapTest, AFailingRuleLeavesItsActionAndTheOthersAreStillUpdated)
{
    bool state = false;
    Map.Add({"Before", "Test", "Before", {}, {}, [&state] { return state; }});
    Map.Add({"Broken", "Test", "Broken", {}, {}, []() -> bool { throw EAmbitoneError("no table"); }});
    Map.Add({"After", "Test", "After", {}, {}, [&state] { return state; }});
    for (bool expected : {false, true}) {
        state = expected;
        Map.UpdateActions();
        EXPECT_EQ(Map.Action("Before")->isEnabled(), expected);
        EXPECT_EQ(Map.Action("After")->isEnabled(), expected);
        EXPECT_TRUE(Map.Action("Broken")->isEnabled()); // as it was
    }
    EXPECT_TRUE(Prompts.Records().empty()); // an idle moment raises no box
}

TEST_F(TCommandMapTest, MenusAreBuiltFromNamesAndAnUnknownNameIsAFault)
{
    Map.Add({"One", "Test", "One"});
    Map.Add({"Two", "Test", "Two"});
    Map.Add({"Hidden", "Test", "Hidden"}, false);
    EXPECT_EQ(Map.Actions().size(), 2u); // unlisted commands stay out of the action list
    QMenu menu;
    Map.Fill(&menu, {"One", "-", {"Sub", {"Two", "Hidden"}}});
    ASSERT_EQ(menu.actions().size(), 3);
    EXPECT_EQ(menu.actions()[0], Map.Action("One"));
    EXPECT_TRUE(menu.actions()[1]->isSeparator());
    ASSERT_NE(menu.actions()[2]->menu(), nullptr);
    EXPECT_EQ(menu.actions()[2]->menu()->actions(), QList<QAction*>({Map.Action("Two"), Map.Action("Hidden")}));
    QMenu other;
    EXPECT_THROW(Map.Fill(&other, {"Three"}), EAmbitoneError);
}
