#pragma once
// Drives the main window as a user does: finds its controls by object or
// accessible name, triggers its commands by name (through the same guard
// as a click), reads the menus, answers the prompts by script and moves the
// engine clock by hand. Tests speak to the window through this and through
// the record store, not through the window's members.

#include "app/frm_main.h"
#include "audio/backends/sound_backend.h"
#include "audio/mixer_control.h"
#include "base/clock.h"
#include "support/scripted_prompts.h"

#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>

class QAction;
class QMenu;
class QWidget;
class TLibraryTables;

class TWindowDriver {
public:
    explicit TWindowDriver(TfrmMain& window) : m_window(window) {}

    TfrmMain& Window() const { return m_window; }
    TLibraryTables& Tables() const;

    // The control with this object name, or else this accessible name;
    // nullptr when there is none.
    QWidget* FindWidget(const QString& name) const;
    // The same, as a T; nullptr and a test failure when there is none.
    template <class T = QWidget>
    T* Find(const QString& name) const
    {
        auto* widget = qobject_cast<T*>(FindWidget(name));
        EXPECT_NE(widget, nullptr) << "no control " << name.toStdString();
        return widget;
    }

    // The command with this name; nullptr (and a failure) for none.
    QAction* Action(const QString& name) const;
    // Brings the enabling rules up to date, as the idle moment does.
    void Update() const;
    bool Enabled(const QString& command) const;
    // Runs the command as a click on its menu item does: only when it is
    // enabled. Whether it ran.
    bool Trigger(const QString& command) const;

    // A menu of the menu bar by its title ("&" ignored), a sub-menu by its
    // title, or a pop-up by its object name.
    QMenu* TopMenu(const QString& title) const;
    static QMenu* SubMenu(const QMenu* menu, const QString& title);
    QMenu* Popup(const QString& objectName) const;
    // A menu's items: command names, "-" for separators, "[Title]" for
    // sub-menus.
    static QStringList MenuItems(const QMenu* menu);

private:
    TfrmMain& m_window;
};

// A main window over its own data directory and settings file in a fresh
// temporary directory, on a virtual clock, on OpenAL Soft's loopback
// device, with every prompt answered by script.
class TWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the window (again); Show also shows it and waits until exposed.
    TfrmMain& Open();
    TfrmMain& Show();
    // Closes the window as its close box does, then destroys it.
    void CloseAndDestroy();
    TWindowDriver& Ui() { return *m_driver; }
    // Mixes `ms` of the window's loopback device while the clock moves on
    // with it, in steps of 10 ms; the largest sample mixed.
    int RenderPeak(int ms);
    TLibraryTables& Tables() { return Ui().Tables(); }
    QString TempPath(const QString& name) const { return m_dir.filePath(name); }
    TMainWindowEnvironment Environment();

    QTemporaryDir m_dir;
    std::filesystem::path DataDir;
    std::unique_ptr<QSettings> Settings;
    TScriptedPrompts Prompts;
    // Whether the window answers on the session bus (off: a test never
    // takes the user's desktop media keys).
    bool PublishPlayer = false;
    TVirtualClock Clock;
    // No output mixer unless a test gives one: the machine's own must not
    // decide what a test sees.
    std::function<std::unique_ptr<IMixerBackend>()> MixerBackend = [] { return std::unique_ptr<IMixerBackend>(); };
    // Stands in front of the loopback back end when set (other device
    // lists, devices without headphone rendering).
    std::function<std::unique_ptr<ISoundBackend>(std::unique_ptr<ISoundBackend>)> WrapSoundBackend;
    std::unique_ptr<TfrmMain> Window;
    ILoopbackRenderer* Loopback = nullptr; // the open window's device

private:
    std::unique_ptr<TWindowDriver> m_driver;
};
