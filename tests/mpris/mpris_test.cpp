// The window as a media player on a private session bus: what the desktop
// reads of it, and the transport driven from the bus as the tool bar does.
#include "support/window_driver.h"

#include "app/mpris.h"
#include "playback/scheduler.h"
#include "scheme/scheme_panel.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

namespace {

class TMprisTest : public TWindowTest {
protected:
    // A bus of the test's own, made the session bus of this process.
    bool StartBus()
    {
        m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                    QStringLiteral("--print-address=1")});
        if (!m_bus.waitForStarted(5000) || !m_bus.waitForReadyRead(5000))
            return false;
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_bus.readLine().trimmed());
        return true;
    }
    void TearDown() override
    {
        TWindowTest::TearDown();
        m_bus.kill();
        m_bus.waitForFinished(2000);
    }
    QVariant Property(const char* interface, const char* name)
    {
        QDBusInterface object(TMprisPlayer::ServiceName, TMprisPlayer::ObjectPath, interface,
                              QDBusConnection::sessionBus());
        return object.property(name);
    }
    void Call(const char* method)
    {
        QDBusInterface player(TMprisPlayer::ServiceName, TMprisPlayer::ObjectPath,
                              QStringLiteral("org.mpris.MediaPlayer2.Player"), QDBusConnection::sessionBus());
        const QDBusMessage reply = player.call(method);
        EXPECT_NE(reply.type(), QDBusMessage::ErrorMessage) << method << " " << reply.errorMessage().toStdString();
    }

private:
    QProcess m_bus;
};

} // namespace

TEST_F(TMprisTest, WithoutASessionBusNothingIsPublished)
{
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    PublishPlayer = true;
    Show();
    ASSERT_NE(Window->MediaPlayer(), nullptr);
    EXPECT_FALSE(Window->MediaPlayer()->Registered());
}

TEST_F(TMprisTest, TheBusDrivesTheOpenSchemesTransportAndSeesItsTitle)
{
    ASSERT_TRUE(StartBus()) << "dbus-daemon";
    PublishPlayer = true;
    Show();
    ASSERT_TRUE(Window->MediaPlayer()->Registered());
    EXPECT_EQ(Property("org.mpris.MediaPlayer2", "Identity").toString(), "Ambitone");
    EXPECT_EQ(Property("org.mpris.MediaPlayer2.Player", "CanPlay").toBool(), false) << "no scheme open";

    ASSERT_TRUE(Ui().Trigger("NewScheme"));
    auto* title = Ui().Find<QLineEdit>("TitleEdit");
    title->setText("Rain at night");
    QTest::keyClick(title, Qt::Key_Return);
    const QVariantMap metadata = qdbus_cast<QVariantMap>(Property("org.mpris.MediaPlayer2.Player", "Metadata"));
    EXPECT_EQ(metadata.value("xesam:title").toString(), "Rain at night");
    EXPECT_EQ(Property("org.mpris.MediaPlayer2.Player", "PlaybackStatus").toString(), "Stopped");

    TScheduler& scheduler = Window->SchemePanel().Scheduler();
    const struct {
        const char* Method;
        bool Playing;
    } steps[] = {{"Play", true}, {"Play", true}, {"PlayPause", false}, {"PlayPause", true},
                 {"Pause", false}, {"Pause", false}, {"Play", true}, {"Stop", false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Method);
        Call(step.Method);
        EXPECT_EQ(scheduler.PlayButtonDown(), step.Playing);
        EXPECT_EQ(Ui().Action("PlayScheme")->isChecked(), step.Playing);
        EXPECT_EQ(Property("org.mpris.MediaPlayer2.Player", "PlaybackStatus").toString(),
                  step.Playing ? "Playing" : "Stopped");
    }
}
