// The single-copy guard between real processes: the lock and the activation
// socket are only worth anything across process boundaries.
#include "app/single_copy.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// Waiting on a process is the only place for time limits, and generous ones.
constexpr int kProcessTimeoutMs = 20000;

std::unique_ptr<QProcess> StartDriver(const QString& mode, const QString& dir, const QString& name)
{
    auto process = std::make_unique<QProcess>();
    process->start(QStringLiteral(SINGLE_COPY_DRIVER), {mode, dir, name});
    EXPECT_TRUE(process->waitForStarted(kProcessTimeoutMs)) << process->errorString().toStdString();
    return process;
}

QString NextLine(QProcess& process)
{
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(kProcessTimeoutMs) && !process.canReadLine())
            return "<no line; stderr: " + QString::fromLocal8Bit(process.readAllStandardError()) + ">";
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

bool SetAge(const QString& path, int seconds)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) &&
           file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime);
}

class SingleCopyProcesses : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override
    {
        for (auto& process : m_holders) {
            process->kill();
            process->waitForFinished(kProcessTimeoutMs);
        }
    }

    QProcess& Hold(const QString& name)
    {
        m_holders.push_back(StartDriver("hold", m_dir.path(), name));
        EXPECT_EQ(NextLine(*m_holders.back()), "first");
        return *m_holders.back();
    }

    QString Probe(const QString& name)
    {
        auto probe = StartDriver("probe", m_dir.path(), name);
        const QString said = NextLine(*probe);
        EXPECT_TRUE(probe->waitForFinished(kProcessTimeoutMs));
        return said;
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_holders;
};

} // namespace

TEST_F(SingleCopyProcesses, SecondCopyActivatesTheFirst)
{
    QProcess& holder = Hold("ambitone");
    EXPECT_EQ(Probe("ambitone"), "second");
    EXPECT_EQ(NextLine(holder), "activated");
    ASSERT_TRUE(holder.waitForFinished(kProcessTimeoutMs));
    // The holder ended normally: its lock went with it.
    EXPECT_EQ(Probe("ambitone"), "first");
}

TEST_F(SingleCopyProcesses, KilledCopyLeavesNoBlockingLock)
{
    QProcess& holder = Hold("ambitone");
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(kProcessTimeoutMs));
    // SIGKILL gave the holder no chance to clean up: the leftovers are real.
    ASSERT_TRUE(QFile::exists(m_dir.filePath("ambitone.lock")));
    ASSERT_TRUE(QFile::exists(m_dir.filePath("ambitone.socket")));
    // A new first copy takes over both the lock and the socket path.
    QProcess& next = Hold("ambitone");
    EXPECT_EQ(Probe("ambitone"), "second");
    EXPECT_EQ(NextLine(next), "activated");
}

TEST_F(SingleCopyProcesses, DifferentNamesDoNotCollide)
{
    QProcess& holder = Hold("ambitone");
    EXPECT_EQ(Probe("othertone"), "first");
    EXPECT_FALSE(holder.waitForReadyRead(300)) << "the other name's probe reached this holder";
    EXPECT_EQ(Probe("ambitone"), "second");
    EXPECT_EQ(NextLine(holder), "activated");
}

TEST_F(SingleCopyProcesses, AgeAloneNeverDecides)
{
    // However long the first copy has been running, its lock holds.
    QProcess& holder = Hold("ambitone");
    ASSERT_TRUE(SetAge(m_dir.filePath("ambitone.lock"), 3600));
    EXPECT_EQ(Probe("ambitone"), "second");
    EXPECT_EQ(NextLine(holder), "activated");
    ASSERT_TRUE(holder.waitForFinished(kProcessTimeoutMs));

    // A lock file cut short (full disk, crash while writing) names no owner;
    // once past the start-up grace it must not block.
    QFile broken(m_dir.filePath("ambitone.lock"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.close();
    ASSERT_TRUE(SetAge(broken.fileName(), 60));
    EXPECT_EQ(Probe("ambitone"), "first");
}

TEST_F(SingleCopyProcesses, LockOfAnotherLiveProgramDoesNotBlock)
{
    // After a crash and a reboot the dead copy's PID may belong to some other
    // live program; nobody answers on the socket then. This process stands
    // in for that program.
    QFile lock(m_dir.filePath("ambitone.lock"));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write(QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
               QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n' +
               QSysInfo::machineHostName().toUtf8() + '\n');
    lock.close();
    ASSERT_TRUE(SetAge(lock.fileName(), 60));
    EXPECT_EQ(Probe("ambitone"), "first");
}

TEST(SingleCopy, FirstCopyHearsEveryRequest)
{
    QTemporaryDir dir;
    TSingleCopy first("ambitone", dir.path());
    ASSERT_TRUE(first.Acquire());
    QSignalSpy spy(&first, &TSingleCopy::ActivationRequested);
    // The probes wait for the answer this process gives from its event loop.
    for (int request = 1; request <= 2; ++request) {
        QProcess probe;
        probe.start(QStringLiteral(SINGLE_COPY_DRIVER), {"probe", dir.path(), "ambitone"});
        EXPECT_TRUE(spy.wait(kProcessTimeoutMs));
        EXPECT_EQ(spy.count(), request);
        ASSERT_TRUE(probe.waitForFinished(kProcessTimeoutMs));
        EXPECT_EQ(probe.readAllStandardOutput().trimmed(), "second");
    }
}

TEST(SingleCopy, LockLastsAsLongAsTheObject)
{
    QTemporaryDir dir;
    {
        // Only the file name counts: a path to the executable is the same lock.
        TSingleCopy first("/usr/bin/ambitone", dir.path());
        ASSERT_TRUE(first.Acquire());
        EXPECT_TRUE(first.Acquire()) << "asking again keeps what is held";
        TSingleCopy second("ambitone", dir.path());
        EXPECT_FALSE(second.Acquire());
    }
    TSingleCopy later("ambitone", dir.path());
    EXPECT_TRUE(later.Acquire());

    TSingleCopy lonely("nobody", dir.path());
    EXPECT_FALSE(lonely.ActivateFirstCopy(300));
}

TEST(BringWindowForward, RestoresMinimisedWindows)
{
    QWidget plain;
    plain.showMinimized();
    BringWindowForward(&plain);
    EXPECT_TRUE(plain.isVisible());
    EXPECT_EQ(plain.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), Qt::WindowNoState);

    QWidget maximised;
    maximised.showMaximized();
    maximised.setWindowState(maximised.windowState() | Qt::WindowMinimized);
    BringWindowForward(&maximised);
    EXPECT_EQ(maximised.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized), Qt::WindowMaximized);

    QWidget hidden;
    BringWindowForward(&hidden);
    EXPECT_TRUE(hidden.isVisible());
}
