#pragma once
// The program as a media player on the desktop's session bus (MPRIS 2,
// "org.mpris.MediaPlayer2.ambitone"): media keys and the desktop's player
// controls drive the open scheme's transport as the tool bar buttons do
// (a scheme has no pause: Pause stops it), and the desktop sees the open
// scheme's title and whether it plays. Without a session bus nothing
// happens.

#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>

class TMprisPlayer : public QObject {
    Q_OBJECT

public:
    struct THooks {
        std::function<void()> Play, Stop, Raise, Quit;
        std::function<bool()> Playing, CanPlay;
        std::function<QString()> Title;
    };
    static constexpr const char* ServiceName = "org.mpris.MediaPlayer2.ambitone";
    static constexpr const char* ObjectPath = "/org/mpris/MediaPlayer2";

    TMprisPlayer(THooks hooks, QObject* parent = nullptr);
    ~TMprisPlayer() override;
    bool Registered() const { return m_registered; }

    // The transport or the open scheme changed: the desktop hears of what
    // it shows.
    void Changed();

    // What the bus reads and calls (the adaptors forward here).
    QString PlaybackStatus() const;
    QVariantMap Metadata() const;
    bool CanPlay() const;
    const THooks& Hooks() const { return m_hooks; }

private:
    THooks m_hooks;
    bool m_registered = false;
    QString m_shownStatus;
    QString m_shownTitle;
};
