#pragma once
// A main window over its own data directory and settings file in a fresh
// temporary directory, with every prompt answered by script.

#include "app/application.h"
#include "app/frm_main.h"
#include "app/prompts.h"
#include "audio/backends/sound_backend.h"
#include "audio/mixer_control.h"
#include "catalog/sound_tree.h"

#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

class TMainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        DataDir = std::filesystem::path(m_dir.path().toStdString()) / "user" / "Ambitone" / "Data";
        Settings = std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat);
        if (auto* app = dynamic_cast<TAmbitoneApplication*>(QCoreApplication::instance()))
            app->SetPrompts(&Prompts);
    }

    void TearDown() override
    {
        Window.reset();
        if (auto* app = dynamic_cast<TAmbitoneApplication*>(QCoreApplication::instance()))
            app->SetPrompts(nullptr);
    }

    TfrmMain& Open()
    {
        Window.reset();
        TMainWindowEnvironment environment;
        environment.DataDirectory = DataDir;
        environment.Prompts = &Prompts;
        environment.Settings = Settings.get();
        environment.MixerBackend = MixerBackend;
        environment.SoundBackend = [] { return CreateOpenAlLoopbackBackend().Backend; };
        Window = std::make_unique<TfrmMain>(environment);
        return *Window;
    }

    // Closes the window as its close box does, then destroys it.
    void CloseAndDestroy()
    {
        if (Window) {
            Window->close();
            Window.reset();
        }
    }

    QString TempPath(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
    std::filesystem::path DataDir;
    std::unique_ptr<QSettings> Settings;
    TScriptedPrompts Prompts;
    // No output mixer unless a test gives one: the machine's own must not
    // decide what a test sees.
    std::function<std::unique_ptr<IMixerBackend>()> MixerBackend = [] { return std::unique_ptr<IMixerBackend>(); };
    std::unique_ptr<TfrmMain> Window;
};
