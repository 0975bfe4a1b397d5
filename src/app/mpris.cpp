#include "app/mpris.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>

namespace {

// org.mpris.MediaPlayer2: who the player is.
class TMprisRootAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ Empty)
    Q_PROPERTY(QStringList SupportedMimeTypes READ Empty)

public:
    explicit TMprisRootAdaptor(TMprisPlayer* player) : QDBusAbstractAdaptor(player), m_player(player) {}
    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Ambitone"); }
    QString DesktopEntry() const { return QStringLiteral("org.ambitone.Ambitone"); }
    QStringList Empty() const { return {}; }

public slots:
    void Raise() { Call(m_player->Hooks().Raise); }
    void Quit() { Call(m_player->Hooks().Quit); }

private:
    static void Call(const std::function<void()>& hook)
    {
        if (hook)
            hook();
    }
    TMprisPlayer* m_player;
};

// org.mpris.MediaPlayer2.Player: the transport of the open scheme.
class TMprisPlayerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(double Rate READ One)
    Q_PROPERTY(double MinimumRate READ One)
    Q_PROPERTY(double MaximumRate READ One)
    Q_PROPERTY(double Volume READ One)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(bool CanGoNext READ No)
    Q_PROPERTY(bool CanGoPrevious READ No)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPlay)
    Q_PROPERTY(bool CanSeek READ No)
    Q_PROPERTY(bool CanControl READ Yes)

public:
    explicit TMprisPlayerAdaptor(TMprisPlayer* player) : QDBusAbstractAdaptor(player), m_player(player) {}
    QString PlaybackStatus() const { return m_player->PlaybackStatus(); }
    QVariantMap Metadata() const { return m_player->Metadata(); }
    bool CanPlay() const { return m_player->CanPlay(); }
    double One() const { return 1.0; }
    qlonglong Position() const { return 0; }
    bool No() const { return false; }
    bool Yes() const { return true; }

public slots:
    void Play()
    {
        if (m_player->CanPlay() && !Playing())
            Call(m_player->Hooks().Play);
    }
    void Pause() { Stop(); }
    void PlayPause()
    {
        if (Playing())
            Stop();
        else
            Play();
    }
    void Stop()
    {
        if (Playing())
            Call(m_player->Hooks().Stop);
    }
    void Next() {}
    void Previous() {}
    void Seek(qlonglong) {}
    void SetPosition(const QDBusObjectPath&, qlonglong) {}
    void OpenUri(const QString&) {}

signals:
    void Seeked(qlonglong position);

private:
    bool Playing() const { return m_player->Hooks().Playing && m_player->Hooks().Playing(); }
    static void Call(const std::function<void()>& hook)
    {
        if (hook)
            hook();
    }
    TMprisPlayer* m_player;
};

} // namespace

TMprisPlayer::TMprisPlayer(THooks hooks, QObject* parent) : QObject(parent), m_hooks(std::move(hooks))
{
    // Only a desktop session has a bus; nothing is started to make one.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    new TMprisRootAdaptor(this);
    new TMprisPlayerAdaptor(this);
    // A second copy of the program (or another window) keeps the first's name.
    if (!bus.registerService(QString::fromLatin1(ServiceName)))
        return;
    if (!bus.registerObject(QString::fromLatin1(ObjectPath), this)) {
        bus.unregisterService(QString::fromLatin1(ServiceName));
        return;
    }
    m_registered = true;
    m_shownStatus = PlaybackStatus();
    m_shownTitle = m_hooks.Title ? m_hooks.Title() : QString();
}

TMprisPlayer::~TMprisPlayer()
{
    if (!m_registered)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(ObjectPath));
    bus.unregisterService(QString::fromLatin1(ServiceName));
}

QString TMprisPlayer::PlaybackStatus() const
{
    return m_hooks.Playing && m_hooks.Playing() ? QStringLiteral("Playing") : QStringLiteral("Stopped");
}

QVariantMap TMprisPlayer::Metadata() const
{
    const QString title = m_hooks.Title ? m_hooks.Title() : QString();
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"),
                    QVariant::fromValue(QDBusObjectPath(title.isEmpty() ? QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack")
                                                                        : QStringLiteral("/org/ambitone/scheme"))));
    if (!title.isEmpty())
        metadata.insert(QStringLiteral("xesam:title"), title);
    return metadata;
}

bool TMprisPlayer::CanPlay() const
{
    return m_hooks.CanPlay && m_hooks.CanPlay();
}

void TMprisPlayer::Changed()
{
    if (!m_registered)
        return;
    QVariantMap changed;
    const QString status = PlaybackStatus();
    if (status != m_shownStatus)
        changed.insert(QStringLiteral("PlaybackStatus"), m_shownStatus = status);
    const QString title = m_hooks.Title ? m_hooks.Title() : QString();
    if (title != m_shownTitle) {
        m_shownTitle = title;
        changed.insert(QStringLiteral("Metadata"), Metadata());
        changed.insert(QStringLiteral("CanPlay"), CanPlay());
        changed.insert(QStringLiteral("CanPause"), CanPlay());
    }
    if (changed.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(ObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QStringLiteral("org.mpris.MediaPlayer2.Player") << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

#include "mpris.moc"
