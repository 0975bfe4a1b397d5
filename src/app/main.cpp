// Program entry: one copy per user, the main window, the about window and the
// message loop.
#include "app/about_box.h"
#include "app/application.h"
#include "store/data_directory.h"
#include "app/frm_main.h"
#include "ui/prompts.h"
#include "app/qt_clock.h"
#include "app/single_copy.h"
#include "app/unix_signals.h"

#include <QFileInfo>

#include <memory>

int main(int argc, char** argv)
{
    TAmbitoneApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ambitone"));
    QApplication::setOrganizationName(QStringLiteral("Ambitone"));
    QApplication::setApplicationDisplayName(QStringLiteral("Ambitone"));
    QApplication::setApplicationVersion(QStringLiteral("0.1"));

    // The lock is named after the executable's file name, so that a renamed
    // copy is a program of its own.
    TSingleCopy singleCopy(QFileInfo(QString::fromLocal8Bit(argv[0])).fileName());
    if (!singleCopy.Acquire()) {
        singleCopy.ActivateFirstCopy();
        return 0;
    }

    // Logout, shutdown and Ctrl+C close the window as its close box does, so
    // the open scheme is written back. Installed first, so that a signal
    // arriving during start-up waits for the window instead of killing it.
    TUnixSignalBridge* signalBridge = TUnixSignalBridge::Install(&app);

    TQtPrompts prompts;
    app.SetPrompts(&prompts);
    // Every engine timer runs on the program's real clock.
    TQtClock clock;
    clock.SetPrompts(&prompts);
    SetDefaultClock(&clock);

    TMainWindowEnvironment environment;
    environment.Prompts = &prompts;
    environment.Clock = &clock;
    environment.DataDirectory =
        DefaultDataDirectory(QFileInfo(QCoreApplication::applicationFilePath()).absolutePath().toStdString());

    auto frmMain = std::make_unique<TfrmMain>(environment);
    prompts.SetParent(frmMain.get());
    frmMain->frmAbout = new TfrmAbout(frmMain.get());

    QObject::connect(&singleCopy, &TSingleCopy::ActivationRequested, frmMain.get(),
                     [&frmMain] { BringWindowForward(frmMain.get()); });
    if (signalBridge)
        QObject::connect(signalBridge, &TUnixSignalBridge::TerminationRequested, frmMain.get(),
                     [&frmMain](int) { frmMain->close(); });

    frmMain->show();
    int result = app.exec();
    frmMain.reset();
    SetDefaultClock(nullptr);
    return result;
}
