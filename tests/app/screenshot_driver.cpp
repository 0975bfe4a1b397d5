// Renders the main window offscreen to a PNG, over a scratch data directory
// with a few schemes in it, so that what a user sees can be looked at.
// Usage: screenshot_driver OUT.png [WIDTH HEIGHT]
#include "app/application.h"
#include "app/frm_main.h"
#include "app/prompts.h"
#include "audio/backends/sound_backend.h"
#include "audio/mixer_control.h"

#include <QLineEdit>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUT.png [WIDTH HEIGHT]\n", argv[0]);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TAmbitoneApplication app(argc, argv);
    QTemporaryDir dir;
    TScriptedPrompts prompts;
    app.SetPrompts(&prompts);
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);

    TMainWindowEnvironment environment;
    environment.DataDirectory = dir.filePath("Data").toStdString();
    environment.Prompts = &prompts;
    environment.Settings = &settings;
    environment.SoundBackend = [] { return CreateOpenAlLoopbackBackend().Backend; };
    environment.MixerBackend = [] { return std::unique_ptr<IMixerBackend>(); };
    TfrmMain form(environment);
    form.show();
    for (const char* title : {"Rain Forest", "Night Harbour", "Mountain Stream", "Thunderstorm"}) {
        form.NewSchemeExecute();
        form.TitleEdit->setText(title);
        form.TitleEditExit();
    }
    form.SchemeList->setCurrentRow(1, QItemSelectionModel::ClearAndSelect);
    if (argc >= 4)
        form.resize(QString(argv[2]).toInt(), QString(argv[3]).toInt());
    form.UpdateActions();

    QString out = QString::fromLocal8Bit(argv[1]);
    int status = 1;
    QTimer::singleShot(200, [&] {
        form.UpdateActions();
        status = form.grab().save(out) ? 0 : 1;
        app.quit();
    });
    app.exec();
    for (const QString& error : prompts.Texts("error"))
        std::fprintf(stderr, "%s\n", qPrintable(error));
    return status;
}
