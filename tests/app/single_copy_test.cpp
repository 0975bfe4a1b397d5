// The single-copy guard, mostly between real processes: the lock and the
// activation socket are only worth anything across process boundaries.
#include "app/single_copy.h"

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
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
    process->setProcessChannelMode(QProcess::SeparateChannels);
    process->start(QStringLiteral(SINGLE_COPY_DRIVER), {mode, dir, name});
    EXPECT_TRUE(process->waitForStarted(kProcessTimeoutMs)) << process->errorString().toStdString();
    return process;
}

// Reads the driver's next output line, waiting for it as long as needed.
QString NextLine(QProcess& process)
{
    while (!process.canReadLine()) {
        if (!process.waitForReadyRead(kProcessTimeoutMs) && !process.canReadLine())
            return QStringLiteral("<no line; stderr: %1>")
                .arg(QString::fromLocal8Bit(process.readAllStandardError()));
    }
    return QString::fromLocal8Bit(process.readLine()).trimmed();
}

// Runs one probe to its end and returns what it said.
QString Probe(const QString& dir, const QString& name)
{
    auto probe = StartDriver(QStringLiteral("probe"), dir, name);
    const QString said = NextLine(*probe);
    EXPECT_TRUE(probe->waitForFinished(kProcessTimeoutMs));
    EXPECT_EQ(probe->exitCode(), 0);
    return said;
}

class SingleCopyProcesses : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    void TearDown() override
    {
        for (auto& process : m_holders) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(kProcessTimeoutMs);
            }
        }
    }

    QProcess& Hold(const QString& name)
    {
        m_holders.push_back(StartDriver(QStringLiteral("hold"), m_dir.path(), name));
        QProcess& holder = *m_holders.back();
        EXPECT_EQ(NextLine(holder), "first");
        return holder;
    }

    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_holders;
};

} // namespace

TEST_F(SingleCopyProcesses, SecondCopyActivatesTheFirst)
{
    QProcess& holder = Hold("ambitone");
    EXPECT_EQ(Probe(m_dir.path(), "ambitone"), "second");
    EXPECT_EQ(NextLine(holder), "activated");
    ASSERT_TRUE(holder.waitForFinished(kProcessTimeoutMs));
    EXPECT_EQ(holder.exitCode(), 0);

    // The holder ended normally: its lock went with it.
    EXPECT_EQ(Probe(m_dir.path(), "ambitone"), "first");
}

TEST_F(SingleCopyProcesses, KilledCopyLeavesNoBlockingLock)
{
    QProcess& holder = Hold("ambitone");
    holder.kill();
    ASSERT_TRUE(holder.waitForFinished(kProcessTimeoutMs));
    // SIGKILL gave the holder no chance to clean up: the leftovers are real.
    ASSERT_TRUE(QFile::exists(m_dir.filePath("ambitone.lock")));
    ASSERT_TRUE(QFile::exists(m_dir.filePath("ambitone.socket")));

    // A new first copy must take over both the lock and the socket path.
    QProcess& next = Hold("ambitone");
    EXPECT_EQ(Probe(m_dir.path(), "ambitone"), "second");
    EXPECT_EQ(NextLine(next), "activated");
}

TEST_F(SingleCopyProcesses, DifferentNamesDoNotCollide)
{
    QProcess& holder = Hold("ambitone");
    EXPECT_EQ(Probe(m_dir.path(), "othertone"), "first");
    // The other name's probe must not have reached this holder.
    EXPECT_FALSE(holder.waitForReadyRead(300));
    EXPECT_EQ(holder.state(), QProcess::Running);
    EXPECT_EQ(Probe(m_dir.path(), "ambitone"), "second");
    EXPECT_EQ(NextLine(holder), "activated");
}

TEST_F(SingleCopyProcesses, UnreadableLockFileIsTakenOverOnceOld)
{
    // A lock file cut short, as by a full disk or a crash while writing it,
    // names no owner: once past the start-up grace it must not block.
    QFile broken(m_dir.filePath("ambitone.lock"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.close();
    const QDateTime past = QDateTime::currentDateTime().addSecs(-60);
    ASSERT_TRUE(broken.open(QIODevice::ReadWrite));
    ASSERT_TRUE(broken.setFileTime(past, QFileDevice::FileModificationTime));
    broken.close();
    EXPECT_EQ(Probe(m_dir.path(), "ambitone"), "first");
}

TEST_F(SingleCopyProcesses, LiveOwnerWithOldLockIsNotTakenOver)
{
    // However long the first copy has been running, its lock holds.
    QProcess& holder = Hold("ambitone");
    QFile lock(m_dir.filePath("ambitone.lock"));
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    ASSERT_TRUE(lock.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
    lock.close();
    EXPECT_EQ(Probe(m_dir.path(), "ambitone"), "second");
    EXPECT_EQ(NextLine(holder), "activated");
}

TEST(SingleCopy, FirstCopyHearsEveryRequest)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TSingleCopy first("ambitone", dir.path());
    ASSERT_TRUE(first.Acquire());
    QSignalSpy spy(&first, &TSingleCopy::ActivationRequested);

    // The probes block on their answer, which this process gives from its
    // event loop: run them without blocking here.
    for (int request = 1; request <= 2; ++request) {
        QProcess probe;
        probe.start(QStringLiteral(SINGLE_COPY_DRIVER), {"probe", dir.path(), "ambitone"});
        ASSERT_TRUE(probe.waitForStarted(kProcessTimeoutMs));
        EXPECT_TRUE(spy.wait(kProcessTimeoutMs));
        EXPECT_EQ(spy.count(), request);
        ASSERT_TRUE(probe.waitForFinished(kProcessTimeoutMs));
        EXPECT_EQ(QString::fromLocal8Bit(probe.readAllStandardOutput()).trimmed(), "second");
    }
}

TEST(SingleCopy, LockIsPerObjectLifetime)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        TSingleCopy first("ambitone", dir.path());
        ASSERT_TRUE(first.Acquire());
        EXPECT_TRUE(first.Acquire()) << "asking again keeps what is held";
        TSingleCopy second("ambitone", dir.path());
        EXPECT_FALSE(second.Acquire());
    }
    TSingleCopy later("ambitone", dir.path());
    EXPECT_TRUE(later.Acquire());
}

TEST(SingleCopy, ActivationWithNobodyListeningFails)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TSingleCopy lonely("ambitone", dir.path());
    EXPECT_FALSE(lonely.ActivateFirstCopy(300));
}

TEST(SingleCopy, PathsFollowNameAndDirectory)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // Only the file name counts: a path to the executable names the same lock.
    TSingleCopy copy("/usr/bin/ambitone", dir.path());
    EXPECT_EQ(copy.LockPath(), dir.filePath("ambitone.lock"));
    EXPECT_EQ(copy.ServerPath(), dir.filePath("ambitone.socket"));
}

TEST(BringWindowForward, RestoresMinimisedWindows)
{
    QWidget plain;
    plain.showMinimized();
    BringWindowForward(&plain);
    EXPECT_TRUE(plain.isVisible());
    EXPECT_FALSE(plain.windowState() & Qt::WindowMinimized);
    EXPECT_FALSE(plain.windowState() & Qt::WindowMaximized);

    QWidget maximised;
    maximised.showMaximized();
    maximised.setWindowState(maximised.windowState() | Qt::WindowMinimized);
    BringWindowForward(&maximised);
    EXPECT_FALSE(maximised.windowState() & Qt::WindowMinimized);
    EXPECT_TRUE(maximised.windowState() & Qt::WindowMaximized);

    QWidget hidden;
    BringWindowForward(&hidden);
    EXPECT_TRUE(hidden.isVisible());
    BringWindowForward(nullptr);
}
