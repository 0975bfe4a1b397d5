#pragma once
// Keeps one copy of the program running per user. The first copy takes a lock
// file and listens on a local socket beside it; a later copy finds the lock
// held, asks the first copy over that socket to come forward, and quits.
//
// Contract: main() creates one TSingleCopy on the user-interface thread
// before the main window, calls Acquire() once and, when that returns false,
// ActivateFirstCopy() and exits. The first copy connects ActivationRequested
// to BringWindowForward(mainWindow); the signal arrives on the thread that
// owns the object, from its event loop. All members are for that one thread.
// Nothing here throws: when the lock cannot even be created (no writable
// directory), Acquire() warns and returns true, because running unguarded is
// better than refusing to start. Destroying the object (or the process
// dying, however it dies) gives the lock up.

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;
class QLockFile;
class QWidget;

class TSingleCopy : public QObject {
    Q_OBJECT
public:
    // lockName is the executable's file name without directory ("ambitone");
    // an empty directory means the user's runtime directory, or the temporary
    // directory when the system has none.
    explicit TSingleCopy(const QString& lockName, const QString& directory = QString(), QObject* parent = nullptr);
    ~TSingleCopy() override;

    // True when this is the first live copy: the lock is ours and the
    // activation server listens. False when another live copy holds the lock.
    bool Acquire();

    // For a copy whose Acquire() failed: asks the first copy to come forward.
    // True once the first copy has confirmed the request within timeoutMs.
    bool ActivateFirstCopy(int timeoutMs = 1500);

    QString LockPath() const { return m_lockPath; }
    QString ServerPath() const { return m_serverPath; }

signals:
    // Emitted in the first copy once per request of a later copy.
    void ActivationRequested();

private:
    void OnNewConnection();
    void OnRequestData(QLocalSocket* socket);

    QString m_lockPath;
    QString m_serverPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};

// Shows window, restores it when minimised (keeping it maximised when it was
// maximised before), raises it and gives it the focus.
void BringWindowForward(QWidget* window);
