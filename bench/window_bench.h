#pragma once
// What the benchmarks of the main window share: a window over a data
// directory filled beforehand, offscreen on a loopback sound device with
// every prompt answered by script, and a reporter that keeps each
// benchmark's fastest repetition (the one least disturbed by whatever else
// the machine is doing) for the ratios printed at the end.

#include "app/frm_main.h"
#include "audio/backends/sound_backend.h"
#include "audio/mixer_control.h"
#include "support/scripted_prompts.h"

#include "fastest_run.h"

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Fills a fresh Data directory with `fill` (false: give up), opens the
// window over it and hands it to `run`. A message or error the window
// shows, before or after, fails the program: a benchmark of a window that
// complained measures nothing worth reporting.
inline int RunWindowBenchmark(const char* program, int argc, char** argv,
                              const std::function<bool(const std::filesystem::path& dataDir)>& fill,
                              const std::function<int(TfrmMain& form)>& run)
{
    // No display and no sound card: the window renders offscreen and the
    // sound device is a loopback one.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("ALSOFT_DRIVERS", "null");
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "%s: no temporary directory\n", program);
        return 1;
    }
    const std::filesystem::path dataDir = std::filesystem::path(dir.path().toStdString()) / "Data";
    std::filesystem::create_directories(dataDir);
    if (!fill(dataDir))
        return 1;

    TScriptedPrompts prompts;
    QSettings settings(dir.filePath("settings.ini"), QSettings::IniFormat);
    TMainWindowEnvironment environment;
    environment.DataDirectory = dataDir;
    environment.Prompts = &prompts;
    environment.Settings = &settings;
    environment.MixerBackend = [] { return std::unique_ptr<IMixerBackend>(); };
    environment.SoundBackend = [] { return CreateOpenAlLoopbackBackend().Backend; };
    TfrmMain form(environment);
    auto reportPrompts = [&] {
        bool failed = false;
        for (const char* kind : {"error", "message"})
            for (const QString& text : prompts.Texts(kind)) {
                std::fprintf(stderr, "%s: the window reported: %s\n", program, text.toUtf8().constData());
                failed = true;
            }
        return failed;
    };
    if (reportPrompts())
        return 1;
    const int result = run(form);
    return reportPrompts() ? 1 : result;
}
