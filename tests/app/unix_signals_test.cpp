// Termination signals raised in this very process must come out as the Qt
// signal, from the event loop, once each and in order.
#include "app/unix_signals.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
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
    void TearDown() override { delete m_bridge; }

    QList<int> Received(QSignalSpy& spy, int count)
    {
        while (spy.count() < count && spy.wait(kWaitMs)) {
        }
        QList<int> numbers;
        for (const auto& arguments : spy)
            numbers << arguments.at(0).toInt();
        return numbers;
    }

    QObject m_owner;
    TUnixSignalBridge* m_bridge = nullptr;
};

} // namespace

TEST_F(UnixSignals, EachSignalArrivesInOrderFromTheEventLoop)
{
    QSignalSpy spy(m_bridge, &TUnixSignalBridge::TerminationRequested);
    std::raise(SIGHUP);
    EXPECT_EQ(spy.count(), 0) << "emitted from inside the system handler";
    EXPECT_EQ(Received(spy, 1), QList<int>({SIGHUP}));

    ::kill(::getpid(), SIGTERM);
    std::raise(SIGINT);
    std::raise(SIGTERM);
    EXPECT_EQ(Received(spy, 4), QList<int>({SIGHUP, SIGTERM, SIGINT, SIGTERM}));
}

TEST_F(UnixSignals, InstallOnceAndRestoreOnDestruction)
{
    EXPECT_EQ(TUnixSignalBridge::Install(&m_owner), m_bridge);
    delete m_bridge;
    struct sigaction current = {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);

    // An ignored signal stays ignored in a fresh bridge, which works as the
    // first did for the others.
    std::signal(SIGHUP, SIG_IGN);
    m_bridge = TUnixSignalBridge::Install(&m_owner);
    ASSERT_NE(m_bridge, nullptr);
    QSignalSpy spy(m_bridge, &TUnixSignalBridge::TerminationRequested);
    std::raise(SIGHUP);
    std::raise(SIGTERM);
    EXPECT_EQ(Received(spy, 1), QList<int>({SIGTERM}));
    std::signal(SIGHUP, SIG_DFL);
}

TEST_F(UnixSignals, SlotMayDestroyTheBridge)
{
    // Closing the main window may take the bridge with it while a second
    // signal still waits in the pipe.
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
