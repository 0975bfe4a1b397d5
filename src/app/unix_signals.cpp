#include "app/unix_signals.h"

#include <QPointer>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

TUnixSignalBridge* s_instance = nullptr;
// [0] is written by the handler, [1] read by the notifier.
int s_fds[2] = {-1, -1};
volatile sig_atomic_t s_writeFd = -1;
struct sigaction s_previous[kSignals.size()];

extern "C" void HandleTermination(int signalNumber)
{
    // Only async-signal-safe calls here; errno belongs to whatever the
    // signal interrupted.
    const int savedErrno = errno;
    const int fd = s_writeFd;
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        [[maybe_unused]] const ssize_t written = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

void CloseFds()
{
    for (int& fd : s_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

// Puts back the first `installed` handlers after a failure.
bool RollBack(std::size_t installed)
{
    for (std::size_t j = 0; j < installed; ++j)
        ::sigaction(kSignals[j], &s_previous[j], nullptr);
    s_writeFd = -1;
    return false;
}

} // namespace

TUnixSignalBridge* TUnixSignalBridge::Install(QObject* parent)
{
    if (s_instance)
        return s_instance;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, s_fds) != 0) {
        qWarning("Ambitone: no socket pair for system signals (errno %d)", errno);
        return nullptr;
    }
    auto* bridge = new TUnixSignalBridge(parent);
    if (!bridge->InstallHandlers()) {
        qWarning("Ambitone: cannot install the termination signal handlers (errno %d)", errno);
        delete bridge;
        return nullptr;
    }
    return bridge;
}

TUnixSignalBridge::TUnixSignalBridge(QObject* parent) : QObject(parent)
{
    s_instance = this;
    m_notifier = new QSocketNotifier(s_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TUnixSignalBridge::OnReadable);
}

TUnixSignalBridge::~TUnixSignalBridge()
{
    RestoreHandlers();
    delete m_notifier;
    CloseFds();
    s_instance = nullptr;
}

bool TUnixSignalBridge::InstallHandlers()
{
    s_writeFd = s_fds[0];
    struct sigaction action = {};
    action.sa_handler = HandleTermination;
    sigemptyset(&action.sa_mask);
    // Restarting keeps the system calls the signal interrupts from failing
    // with EINTR all over the program.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        if (::sigaction(kSignals[i], nullptr, &s_previous[i]) != 0)
            return RollBack(i);
        // A signal ignored on purpose (nohup ignores SIGHUP) stays ignored.
        if (s_previous[i].sa_handler == SIG_IGN)
            continue;
        if (::sigaction(kSignals[i], &action, nullptr) != 0)
            return RollBack(i);
    }
    return true;
}

void TUnixSignalBridge::RestoreHandlers()
{
    if (s_writeFd < 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &s_previous[i], nullptr);
    s_writeFd = -1;
}

void TUnixSignalBridge::OnReadable()
{
    // A slot may destroy the bridge (closing the main window can take the
    // object tree with it); then the descriptors are gone too.
    const QPointer<TUnixSignalBridge> self(this);
    unsigned char bytes[16];
    for (;;) {
        const ssize_t count = ::read(s_fds[1], bytes, sizeof bytes);
        if (count <= 0)
            break;
        for (ssize_t i = 0; i < count; ++i) {
            emit TerminationRequested(bytes[i]);
            if (!self)
                return;
        }
    }
}
