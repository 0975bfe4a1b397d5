// The real program in real processes: first run, ending by a signal, the
// settings it leaves, and the single running copy.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

namespace {

class TProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        for (const char* sub : {"data", "config", "runtime"})
            QDir(m_dir.path()).mkpath(sub);
        QFile::setPermissions(m_dir.filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void TearDown() override
    {
        for (QProcess* process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(5000);
            }
            delete process;
        }
    }

    QProcess* Start()
    {
        auto* process = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ALSOFT_DRIVERS", "null"); // a sound device that plays into nothing
        env.insert("XDG_DATA_HOME", m_dir.filePath("data"));
        env.insert("XDG_CONFIG_HOME", m_dir.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", m_dir.filePath("runtime"));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(AMBITONE_BINARY, {});
        m_processes.push_back(process);
        return process;
    }

    QString DatabasePath() const { return m_dir.filePath("data/Ambitone/Data/Ambitone.db"); }
    QString SettingsPath() const { return m_dir.filePath("config/Ambitone/Ambitone.conf"); }

    // Waits until the first copy has its window up: the database exists and
    // its single-copy server listens.
    bool WaitUntilRunning(QProcess* process)
    {
        if (!process->waitForStarted(10000))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000 && process->state() == QProcess::Running) {
            if (QFile::exists(DatabasePath()) && !QDir(m_dir.filePath("runtime")).entryList(QDir::System).isEmpty())
                return true;
            QThread::msleep(50);
        }
        return false;
    }

    bool Terminate(QProcess* process)
    {
        ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
        return process->waitForFinished(15000);
    }

    QTemporaryDir m_dir;
    std::vector<QProcess*> m_processes;
};

} // namespace

TEST_F(TProgramTest, FirstRunThenSigtermLeavesTheDatabaseAndTheSettings)
{
    QProcess* first = Start();
    ASSERT_TRUE(WaitUntilRunning(first)) << first->readAll().toStdString();
    ASSERT_TRUE(Terminate(first));
    EXPECT_EQ(first->exitStatus(), QProcess::NormalExit) << first->readAll().toStdString();
    EXPECT_EQ(first->exitCode(), 0);

    QSettings settings(SettingsPath(), QSettings::IniFormat);
    EXPECT_EQ(settings.value("MainForm").toString().section(u',', 2, 3), "747,585");
    EXPECT_EQ(settings.value("MainSpit").toInt(), 502);
    EXPECT_EQ(settings.value("SchemesSplitPanel").toInt(), 164);
    EXPECT_TRUE(settings.contains("MusicSplitPanel"));

    // The next start puts them back; a moved bar stays where it was left.
    settings.setValue("MainForm", "30,40,820,600,normal");
    settings.setValue("MainSpit", 530);
    settings.sync();
    QProcess* second = Start();
    ASSERT_TRUE(WaitUntilRunning(second));
    ASSERT_TRUE(Terminate(second));
    QSettings after(SettingsPath(), QSettings::IniFormat);
    EXPECT_EQ(after.value("MainForm").toString().section(u',', 2, 4), "820,600,normal");
    EXPECT_EQ(after.value("MainSpit").toInt(), 530);
}

TEST_F(TProgramTest, ASecondCopyWakesTheFirstAndEndsWithoutAWindow)
{
    QProcess* first = Start();
    ASSERT_TRUE(WaitUntilRunning(first)) << first->readAll().toStdString();
    QProcess* second = Start();
    ASSERT_TRUE(second->waitForFinished(10000));
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    ASSERT_TRUE(Terminate(first));
}

TEST_F(TProgramTest, ALockLeftByAKilledCopyDoesNotBlockTheNextStart)
{
    QProcess* crashed = Start();
    ASSERT_TRUE(WaitUntilRunning(crashed));
    crashed->kill();
    crashed->waitForFinished(5000);
    QProcess* next = Start();
    // A second copy would end at once; the next start must stay up.
    EXPECT_FALSE(next->waitForFinished(1500));
    EXPECT_EQ(next->state(), QProcess::Running);
    ASSERT_TRUE(Terminate(next));
}
