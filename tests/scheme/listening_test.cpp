// Listening in the window: Options > Stop After fades the scene and stops
// it; Options > Headphones and Output Device choose how the 3D mixer's
// device opens, kept across runs; Ambitone > Render to File mixes the open
// scheme to a file on a worker while the window plays on.
#include "scheme_rows_fixture.h"

#include "app/listening_options.h"
#include "app/render_dialog.h"
#include "audio/backends/sound_backend.h"
#include "audio/ds_mixer.h"
#include "audio/sound_services.h"
#include "playback/scheduler.h"
#include "playback/scheme_session.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QProgressBar>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>

#include <sndfile.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

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

namespace {

// The window's loopback device under other names, with or without
// headphone rendering; remembers which entries were opened.
class TNamedDevices : public ISoundBackend {
public:
    TNamedDevices(std::unique_ptr<ISoundBackend> inner, std::vector<std::string> names, std::string noHeadphones,
                  std::vector<std::string>& opened)
        : m_inner(std::move(inner)), m_names(std::move(names)), m_noHeadphones(std::move(noHeadphones)),
          m_opened(opened)
    {
    }
    std::vector<TSoundDeviceEntry> EnumerateDevices() override
    {
        std::vector<TSoundDeviceEntry> entries{{std::nullopt, m_names.front(), "test"}};
        for (size_t i = 0; i < m_names.size(); ++i)
            entries.push_back({std::array<uint8_t, 16>{uint8_t(i + 1)}, m_names[i], "test"});
        return entries;
    }
    TDSResult CreateDevice(const TSoundDeviceEntry& entry, std::unique_ptr<ISoundDevice>& device) override
    {
        m_opened.push_back(entry.Guid ? entry.Description : "default");
        if (entry.Description == "Broken")
            return DSERR_NODRIVER;
        return m_inner->CreateDevice(entry, device);
    }
    void SetHeadphones(bool on) override
    {
        if (m_noHeadphones.empty())
            m_inner->SetHeadphones(on);
    }
    std::string HeadphonesUnavailable() const override
    {
        return m_noHeadphones.empty() ? m_inner->HeadphonesUnavailable() : m_noHeadphones;
    }

private:
    std::unique_ptr<ISoundBackend> m_inner;
    std::vector<std::string> m_names;
    std::string m_noHeadphones;
    std::vector<std::string>& m_opened;
};

class ListeningOptions : public TSchemeRowsTest {
protected:
    void Devices(std::vector<std::string> names, std::string noHeadphones = {})
    {
        WrapSoundBackend = [=, this](std::unique_ptr<ISoundBackend> inner) {
            return std::make_unique<TNamedDevices>(std::move(inner), names, noHeadphones, opened);
        };
    }
    // A looping row playing.
    void PlayARow()
    {
        Start();
        Use("rain.wav");
        Row(0).FreqSlider->setValue(100);
        ASSERT_TRUE(Ui().Trigger("PlayScheme"));
        ASSERT_GT(RenderPeak(200), 1000);
    }
    // The scheme plays on, heard on the device.
    void ExpectPlaying()
    {
        EXPECT_TRUE(Panel().Scheduler().Playing());
        EXPECT_TRUE(Row(0).Row->Channel().IsPlaying());
        EXPECT_GT(RenderPeak(200), 1000);
    }
    // Plays the user's part in Render to File: a length, a file, Render;
    // the window's own device mixes on this thread meanwhile.
    // `whileRendering` runs once the worker is going.
    TScriptedPrompts::TDialogScript RenderScript(const QString& path, int seconds,
                                                 std::function<void(TfrmRenderDialog&)> whileRendering = {})
    {
        return [this, path, seconds, whileRendering](QDialog& d) {
            auto& dialog = static_cast<TfrmRenderDialog&>(d);
            dialog.SetLengthSeconds(seconds);
            dialog.edtFile->setText(path);
            dialog.btnRender->click();
            EXPECT_TRUE(dialog.Rendering());
            if (whileRendering)
                whileRendering(dialog);
            while (dialog.Rendering()) {
                RenderPeak(10);
                QCoreApplication::processEvents();
            }
            return dialog.result();
        };
    }
    TMMDSWaveMixer& Mixer() { return *Window->Sound().WaveMixer(); }
    QString StatusLine() { return Window->statusBar()->currentMessage(); }
    std::vector<std::string> opened;
};

} // namespace

TEST_F(ListeningOptions, HeadphonesGoOnWhileASchemePlaysAndAreKept)
{
    PlayARow();
    Ui().Update();
    ASSERT_TRUE(Ui().Enabled("Headphones"));
    EXPECT_FALSE(Ui().Action("Headphones")->isChecked());
    ASSERT_TRUE(Ui().Trigger("Headphones"));
    EXPECT_TRUE(Mixer().Headphones());
    EXPECT_TRUE(Mixer().IsOpen());
    ExpectPlaying();
    EXPECT_EQ(StatusLine(), "Headphones (3D audio) on.");

    CloseAndDestroy();
    TWindowTest::Open();
    EXPECT_TRUE(Mixer().Headphones());
    Ui().Update();
    EXPECT_TRUE(Ui().Action("Headphones")->isChecked());
}

TEST_F(ListeningOptions, WithoutHeadphoneRenderingTheCommandSaysWhyAndStereoPlays)
{
    Devices({"Speakers"}, "No head-related transfer function data is installed for this output device.");
    Settings->setValue("Headphones", true); // kept from a machine that had it
    PlayARow();
    Ui().Update();
    EXPECT_FALSE(Ui().Enabled("Headphones"));
    EXPECT_FALSE(Ui().Action("Headphones")->isChecked());
    EXPECT_EQ(Ui().Action("Headphones")->toolTip(),
              "No head-related transfer function data is installed for this output device.");
    ExpectPlaying();
}

TEST_F(ListeningOptions, TheOutputDeviceIsChosenKeptAndFallsBackWhenGone)
{
    Devices({"Speakers", "USB Headset"});
    PlayARow();
    QMenu* menu = TWindowDriver::SubMenu(Ui().TopMenu("Options"), "Output Device");
    ASSERT_NE(menu, nullptr);
    QStringList captions;
    for (QAction* action : menu->actions())
        if (!action->isSeparator())
            captions << action->text();
    EXPECT_EQ(captions, QStringList({"Default (Speakers)", "Speakers", "USB Headset"}));
    EXPECT_TRUE(menu->actions().front()->isChecked());

    menu->actions().back()->trigger();
    EXPECT_EQ(Mixer().DeviceID(), 2);
    EXPECT_EQ(opened.back(), "USB Headset");
    ExpectPlaying();
    EXPECT_EQ(Settings->value("OutputDevice").toString(), "USB Headset");

    CloseAndDestroy();
    Devices({"Speakers"});
    TWindowTest::Open();
    EXPECT_EQ(Mixer().DeviceID(), 0);
    EXPECT_EQ(StatusLine(), "The output device \"USB Headset\" is not connected; playing on the default device.");
    EXPECT_EQ(Settings->value("OutputDevice").toString(), "USB Headset"); // back when it is
}

TEST_F(ListeningOptions, ADeviceThatWillNotOpenLeavesTheDefaultPlayingInItsPlace)
{
    Devices({"Speakers", "Broken"});
    PlayARow();
    TWindowDriver::SubMenu(Ui().TopMenu("Options"), "Output Device")->actions().back()->trigger();
    EXPECT_EQ(Mixer().DeviceID(), 0);
    EXPECT_TRUE(StatusLine().startsWith("The output device \"Broken\" could not be opened (")) << StatusLine().toStdString();
    ExpectPlaying();
    EXPECT_EQ(Settings->value("OutputDevice").toString(), "Broken"); // tried again at the next start
}

TEST_F(ListeningOptions, RenderToFileMixesTheOpenSchemeAsStoredWhileTheWindowPlaysOn)
{
    PlayARow(); // its looping frequency is not stored yet
    const std::vector<int32_t> storedBefore = Stored("Freq");
    int defaultLength = 0;
    const QString flac = TempPath("Alpha.flac");
    Prompts.AnswerDialog([&](QDialog& d) {
        defaultLength = static_cast<TfrmRenderDialog&>(d).LengthSeconds();
        return RenderScript(flac, 3)(d);
    });
    ASSERT_TRUE(Ui().Trigger("RenderToFile"));
    EXPECT_EQ(Prompts.Texts("error"), QStringList{});
    EXPECT_EQ(defaultLength, Panel().Scheduler().LoopLength()); // one loop unless chosen
    EXPECT_NE(Stored("Freq"), storedBefore); // the render read it from the store

    SF_INFO info{};
    SNDFILE* file = sf_open(flac.toLocal8Bit().constData(), SFM_READ, &info);
    ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
    std::vector<int16_t> samples(static_cast<size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_short(file, samples.data(), info.frames), info.frames);
    sf_close(file);
    EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
    EXPECT_EQ(info.frames, 3 * 44100);
    EXPECT_EQ(info.channels, 2);
    int peak = 0;
    for (int16_t s : samples)
        peak = std::max(peak, std::abs(int(s)));
    EXPECT_GT(peak, 1000);
    EXPECT_EQ(StatusLine(), "Rendered \"Alpha\" to " + flac);
    ExpectPlaying();
}

TEST_F(ListeningOptions, ACancelledRenderLeavesNoFileAndAWrongNameIsRefused)
{
    Start();
    Use("rain.wav");
    const QString ogg = TempPath("long.ogg");
    const QString kept = WriteFile("kept.wav", {1, 2, 3});
    bool refused = false;
    Prompts.AnswerNo(); // "kept.wav" already exists. Replace it?
    Prompts.AnswerDialog([&](QDialog& d) {
        auto& dialog = static_cast<TfrmRenderDialog&>(d);
        for (const QString& path : {TempPath("long.mp3"), kept}) {
            dialog.edtFile->setText(path);
            dialog.btnRender->click();
            refused = !dialog.Rendering();
            if (!refused)
                break;
        }
        const int result = RenderScript(ogg, 36000, [](TfrmRenderDialog& running) {
            while (running.Rendering() && running.Progress->value() == 0)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            running.btnCancel->click();
        })(d);
        EXPECT_EQ(dialog.lblStatus->text(), "Render cancelled; no file was written.");
        EXPECT_TRUE(dialog.btnRender->isEnabled());
        return result;
    });
    ASSERT_TRUE(Ui().Trigger("RenderToFile"));
    EXPECT_TRUE(refused);
    EXPECT_EQ(Prompts.Texts("warning"),
              QStringList{"\"" + TempPath("long.mp3") + "\" is not a sound file this program writes: name it .flac, "
                                                        ".wav or .ogg."});
    EXPECT_EQ(QFileInfo(kept).size(), 3);
    EXPECT_FALSE(QFileInfo::exists(ogg));
    EXPECT_EQ(QDir(TempPath("")).entryList({"*long*"}, QDir::Files | QDir::Hidden), QStringList{});
}
