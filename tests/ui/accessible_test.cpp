// Accessible names: a control's caption, else its hint's short part, else
// its object name in words; its hint's long part describes it.
#include "ui/accessible.h"
#include "ui/hints.h"

#include <QCheckBox>
#include <QListWidget>
#include <QSlider>
#include <QToolButton>
#include <QWidget>

#include <gtest/gtest.h>

TEST(AccessibleNames, ObjectNamesReadAsWords)
{
    const std::pair<const char*, const char*> cases[] = {
        {"SoundTree", "Sound tree"},   {"chkPlaySample", "Play sample"}, {"lblLoopLength", "Loop length"},
        {"PlayList", "Play list"},     {"Exit1", "Exit"},                {"MMDSWaveMixer", "MMDS wave mixer"},
        {"chk", "chk"},                {"TabSet", "Tab set"},
    };
    for (const auto& [object, words] : cases)
        EXPECT_EQ(NameInWords(object), words) << object;
}

TEST(AccessibleNames, CaptionThenHintThenNameAndHandGivenNamesStay)
{
    QWidget root;
    auto* check = new QCheckBox("Autoplay samples", &root);
    check->setObjectName("chkPlaySample");
    SetHint(check, "|Automatically play selections.");
    auto* slider = new QSlider(&root);
    slider->setObjectName("MasterVolumeSlider");
    SetHint(slider, "Main Volume");
    auto* list = new QListWidget(&root);
    list->setObjectName("SongGrid");
    auto* named = new QToolButton(&root);
    named->setObjectName("UpButton");
    named->setAccessibleName("Longer loop");
    auto* unnamed = new QToolButton(&root); // an unnamed part is Qt's to describe

    NameControls(&root);
    EXPECT_EQ(check->accessibleName(), "Autoplay samples");
    EXPECT_EQ(check->accessibleDescription(), "Automatically play selections.");
    EXPECT_EQ(slider->accessibleName(), "Main Volume");
    EXPECT_EQ(slider->accessibleDescription(), "Main Volume");
    EXPECT_EQ(list->accessibleName(), "Song grid");
    EXPECT_EQ(list->accessibleDescription(), "");
    EXPECT_EQ(named->accessibleName(), "Longer loop");
    EXPECT_EQ(unnamed->accessibleName(), "");
}
