// Termination signals raised in this very process must come out as the Qt
// signal, from the event loop, once each and in order.
#include "app/unix_signals.h"

#include <QCoreApplication>
#include <QObject>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr int kWaitMs = 10000;

// The handlers start from the default, whatever the test runner left (a
// runner under nohup ignores SIGHUP, which the bridge keeps ignored).
class UnixSignals : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            std::signal(sig, SIG_DFL);
        m_bridge = TUnixSignalBridge::Install(&m_owner);
        ASSERT_NE(m_bridge, nullptr);
    }
    void TearDown() override
    {
        delete m_bridge;
    }

    QObject m_owner;
    TUnixSignalBridge* m_bridge = nullptr;
};

} // namespace

TEST_F(UnixSignals, EachSignalArrivesAsTerminationRequested)
{
    QSignalSpy spy(m_bridge, &TUnixSignalBridge::TerminationRequested);

    std::raise(SIGHUP);
    // Nothing is emitted from inside the system handler.
    EXPECT_EQ(spy.count(), 0);
    ASSERT_TRUE(spy.wait(kWaitMs));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), SIGHUP);

    ::kill(::getpid(), SIGTERM);
    ASSERT_TRUE(spy.wait(kWaitMs));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), SIGTERM);

    std::raise(SIGINT);
    ASSERT_TRUE(spy.wait(kWaitMs));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), SIGINT);
}

TEST_F(UnixSignals, SignalsBeforeTheLoopRunsAreAllDelivered)
{
    QSignalSpy spy(m_bridge, &TUnixSignalBridge::TerminationRequested);
    std::raise(SIGTERM);
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    while (spy.count() < 3 && spy.wait(kWaitMs)) {
    }
    ASSERT_EQ(spy.count(), 3);
    EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
    EXPECT_EQ(spy.at(1).at(0).toInt(), SIGHUP);
    EXPECT_EQ(spy.at(2).at(0).toInt(), SIGTERM);
}

TEST_F(UnixSignals, InstallIsIdempotentAndUninstallRestoresHandlers)
{
    EXPECT_EQ(TUnixSignalBridge::Install(&m_owner), m_bridge);

    delete m_bridge;
    m_bridge = nullptr;
    struct sigaction current = {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);

    // A fresh bridge works as the first did.
    m_bridge = TUnixSignalBridge::Install(&m_owner);
    ASSERT_NE(m_bridge, nullptr);
    QSignalSpy spy(m_bridge, &TUnixSignalBridge::TerminationRequested);
    std::raise(SIGHUP);
    ASSERT_TRUE(spy.wait(kWaitMs));
    EXPECT_EQ(spy.takeFirst().at(0).toInt(), SIGHUP);
}

TEST_F(UnixSignals, IgnoredSignalStaysIgnored)
{
    delete m_bridge;
    std::signal(SIGHUP, SIG_IGN);
    m_bridge = TUnixSignalBridge::Install(&m_owner);
    ASSERT_NE(m_bridge, nullptr);
    QSignalSpy spy(m_bridge, &TUnixSignalBridge::TerminationRequested);
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    ASSERT_TRUE(spy.wait(kWaitMs));
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), SIGTERM);
    delete m_bridge;
    m_bridge = nullptr;
    std::signal(SIGHUP, SIG_DFL);
}

TEST_F(UnixSignals, SlotMayDestroyTheBridge)
{
    // The main window closes on the signal and may take the bridge with it
    // while a second signal is still waiting in the pipe.
    int calls = 0;
    QObject::connect(m_bridge, &TUnixSignalBridge::TerminationRequested, &m_owner, [&] {
        ++calls;
        delete m_bridge;
        m_bridge = nullptr;
    });
    std::raise(SIGTERM);
    std::raise(SIGTERM);
    for (int i = 0; i < 100 && calls == 0; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(calls, 1);
}
