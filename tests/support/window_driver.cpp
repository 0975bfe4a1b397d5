#include "support/window_driver.h"

#include "app/application.h"
#include "app/command_map.h"
#include "audio/backends/sound_backend.h"
#include "audio/mixer_control.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <vector>

TLibraryTables& TWindowDriver::Tables() const
{
    return m_window.Tables();
}

QWidget* TWindowDriver::FindWidget(const QString& name) const
{
    if (m_window.objectName() == name)
        return &m_window;
    if (auto* widget = m_window.findChild<QWidget*>(name))
        return widget;
    for (QWidget* widget : m_window.findChildren<QWidget*>())
        if (widget->accessibleName() == name)
            return widget;
    return nullptr;
}

QAction* TWindowDriver::Action(const QString& name) const
{
    QAction* action = m_window.Commands().Action(name);
    EXPECT_NE(action, nullptr) << "no command " << name.toStdString();
    return action;
}

void TWindowDriver::Update() const
{
    m_window.UpdateActions();
}

bool TWindowDriver::Enabled(const QString& command) const
{
    Update();
    QAction* action = Action(command);
    return action && action->isEnabled();
}

bool TWindowDriver::Trigger(const QString& command) const
{
    if (!Enabled(command))
        return false;
    Action(command)->trigger();
    return true;
}

QMenu* TWindowDriver::TopMenu(const QString& title) const
{
    for (QAction* action : m_window.menuBar()->actions())
        if (QString(action->text()).remove(u'&') == title)
            return action->menu();
    ADD_FAILURE() << "no menu " << title.toStdString();
    return nullptr;
}

QMenu* TWindowDriver::SubMenu(const QMenu* menu, const QString& title)
{
    for (QAction* action : menu ? menu->actions() : QList<QAction*>())
        if (action->menu() && action->text() == title)
            return action->menu();
    ADD_FAILURE() << "no sub-menu " << title.toStdString();
    return nullptr;
}

QMenu* TWindowDriver::Popup(const QString& objectName) const
{
    auto* menu = m_window.findChild<QMenu*>(objectName);
    EXPECT_NE(menu, nullptr) << "no pop-up " << objectName.toStdString();
    return menu;
}

QStringList TWindowDriver::MenuItems(const QMenu* menu)
{
    QStringList items;
    for (QAction* action : menu ? menu->actions() : QList<QAction*>()) {
        if (action->isSeparator())
            items << "-";
        else if (action->menu())
            items << "[" + action->text() + "]";
        else
            items << action->objectName();
    }
    return items;
}

void TWindowTest::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    DataDir = std::filesystem::path(m_dir.path().toStdString()) / "user" / "Ambitone" / "Data";
    Settings = std::make_unique<QSettings>(m_dir.filePath("settings.ini"), QSettings::IniFormat);
    if (auto* app = dynamic_cast<TAmbitoneApplication*>(QCoreApplication::instance()))
        app->SetPrompts(&Prompts);
}

void TWindowTest::TearDown()
{
    m_driver.reset();
    Window.reset();
    if (auto* app = dynamic_cast<TAmbitoneApplication*>(QCoreApplication::instance()))
        app->SetPrompts(nullptr);
}

TMainWindowEnvironment TWindowTest::Environment()
{
    TMainWindowEnvironment environment;
    environment.DataDirectory = DataDir;
    environment.Prompts = &Prompts;
    environment.Settings = Settings.get();
    environment.Clock = &Clock;
    environment.MixerBackend = MixerBackend;
    environment.MusicOffline = true; // songs play on an offline device
    environment.PublishPlayer = PublishPlayer;
    environment.SoundBackend = [this] {
        TLoopbackBackend loopback = CreateOpenAlLoopbackBackend();
        Loopback = loopback.Renderer;
        return WrapSoundBackend ? WrapSoundBackend(std::move(loopback.Backend)) : std::move(loopback.Backend);
    };
    return environment;
}

TfrmMain& TWindowTest::Open()
{
    m_driver.reset();
    Window.reset();
    Window = std::make_unique<TfrmMain>(Environment());
    m_driver = std::make_unique<TWindowDriver>(*Window);
    return *Window;
}

TfrmMain& TWindowTest::Show()
{
    TfrmMain& window = Open();
    window.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    return window;
}

void TWindowTest::CloseAndDestroy()
{
    if (Window) {
        Window->close();
        m_driver.reset();
        Window.reset();
    }
}

int TWindowTest::RenderPeak(int ms)
{
    int peak = 0;
    std::vector<int16_t> block(2 * 441);
    for (int done = 0; done < ms; done += 10) {
        if (Loopback)
            Loopback->Render(block.data(), 441);
        for (int16_t sample : block)
            peak = std::max(peak, std::abs(static_cast<int>(sample)));
        Clock.Advance(10);
    }
    return peak;
}
