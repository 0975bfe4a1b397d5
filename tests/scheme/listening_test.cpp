// Falling asleep to a scheme in the window: Options > Stop After fades the
// scene through the listener, shows the time left and stops as Stop does.
#include "scheme_rows_fixture.h"

#include "audio/ds_mixer.h"
#include "audio/sound_services.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"

#include <QAction>
#include <QLabel>

TEST_F(TSchemeRowsTest, StopAfterFadesTheSceneAndStopsItAsStopDoes)
{
    Start();
    Use("rain.wav");
    Row(0).FreqSlider->setValue(100); // loops while playing
    ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    ASSERT_TRUE(Ui().Trigger("Sleep15"));
    auto* left = Ui().Find<QLabel>("lblSleep");
    EXPECT_EQ(left->text(), "Stops in 15:00");
    EXPECT_TRUE(Ui().Action("Sleep15")->isChecked());
    EXPECT_FALSE(Ui().Action("Sleep0")->isChecked());
    TMMDS3DListener& listener = Window->Sound().WaveMixer()->Sound3D();

    Clock.Advance(15 * 60000 - 15000);
    EXPECT_NEAR(listener.Gain(), 0.5f, 0.01f);
    EXPECT_EQ(left->text(), "Stops in 0:15");
    EXPECT_TRUE(Panel().Scheduler().Playing());
    EXPECT_TRUE(Row(0).Row->Channel().IsPlaying());

    Clock.Advance(15000);
    EXPECT_FALSE(Panel().Scheduler().Playing());
    EXPECT_FALSE(Ui().Action("PlayScheme")->isChecked());
    EXPECT_FALSE(Row(0).Row->Channel().IsPlaying());
    EXPECT_EQ(listener.Gain(), 1.0f);
    EXPECT_TRUE(left->text().isEmpty());
    EXPECT_TRUE(Ui().Action("Sleep0")->isChecked());

    // Off while fading puts the level back at once.
    ASSERT_TRUE(Ui().Trigger("PlayScheme"));
    ASSERT_TRUE(Ui().Trigger("Sleep15"));
    Clock.Advance(15 * 60000 - 10000);
    ASSERT_LT(listener.Gain(), 0.5f);
    ASSERT_TRUE(Ui().Trigger("Sleep0"));
    EXPECT_EQ(listener.Gain(), 1.0f);
    EXPECT_TRUE(Panel().Scheduler().Playing());
}
