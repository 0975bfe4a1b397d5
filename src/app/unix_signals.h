#pragma once
// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface
// thread, so that logout, shutdown or Ctrl+C close the main window the normal
// way and the open ambitone is written back.
//
// Contract: Install() is called once on the user-interface thread after the
// QApplication exists; a second call returns the bridge already installed.
// A signal that was ignored when Install ran (SIGHUP under nohup) is left
// ignored. The system signal may arrive on any thread; its handler only
// writes one byte to a socket pair, and TerminationRequested is emitted from
// the event loop of the thread that installed the bridge. Destroying the bridge puts
// back the handlers that were there before. Nothing throws; Install returns
// nullptr (and warns) only when the system refuses a socket pair or a handler.

#include <QObject>

class QSocketNotifier;

class TUnixSignalBridge : public QObject {
    Q_OBJECT
public:
    static TUnixSignalBridge* Install(QObject* parent);
    ~TUnixSignalBridge() override;

signals:
    void TerminationRequested(int signalNumber);

private:
    explicit TUnixSignalBridge(QObject* parent);
    bool InstallHandlers();
    void RestoreHandlers();
    void OnReadable();

    QSocketNotifier* m_notifier = nullptr;
};
