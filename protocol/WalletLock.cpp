#include "protocol/WalletLock.h"

#include "log/StopRequest.h"
#include "protocol/DeviceSettings.h"
#include "protocol/HidPort.h"
#include "protocol/Wait.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHash>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The restart lock waits this long for its turn: longer than any bootloader search.
constexpr int kRestartWaitMs = 60000;
constexpr unsigned int kRestartPollMs = 20;

// The shared folder, or empty where the locks stay in the process.
QString lock_dir()
{
    if (!device_settings().lock_dir.isEmpty()) {
        return device_settings().lock_dir;
    }
    if (hid_bus_is_private()) {
        return QString();
    }
#ifdef Q_OS_MACOS
    return QStringLiteral("/tmp");
#else
    return QStringLiteral("/run/lock");
#endif
}

QString lock_path(const QString& name)
{
    // A port or serial names a file: only characters safe in a file name.
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    return lock_dir() + QStringLiteral("/tessaro-") + QString(name).replace(unsafe, QStringLiteral("_"))
        + QStringLiteral(".lock");
}

int open_lock(const QString& path)
{
    const QByteArray name = path.toLocal8Bit();
    // Opened without O_CREAT first: where fs.protected_regular is set, O_CREAT
    // on another user's file in a sticky folder such as /run/lock is refused.
    int fd = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        qDebug().noquote() << "cannot open the lock file" << path << ":" << std::strerror(errno);
    } else {
        // Every local user takes the same file, whatever the umask.
        ::fchmod(fd, 0666);
    }
    return fd;
}

void write_holder(int fd)
{
    const QByteArray text
        = QStringLiteral("%1 %2\n")
              .arg(::getpid())
              .arg(QCoreApplication::applicationName().isEmpty() ? QStringLiteral("unknown")
                                                                 : QCoreApplication::applicationName())
              .toLocal8Bit();
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.constData(), std::size_t(text.size()), 0) != text.size()) {
        qDebug().noquote() << "cannot note the holder in the lock file:" << std::strerror(errno);
    }
}

QString read_holder(int fd)
{
    char buffer[256] = {};
    const ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    const QStringList words = QString::fromLocal8Bit(buffer, n > 0 ? int(n) : 0).trimmed().split(QLatin1Char(' '));
    if (words.size() < 2) {
        return QStringLiteral("a process that has not yet named itself");
    }
    return QStringLiteral("pid %1 (%2)").arg(words[0], words.mid(1).join(QLatin1Char(' ')));
}

// The wallet locks this process holds, by file: held until it ends. The
// threads of a run over several wallets take theirs side by side.
QHash<QString, int>& held()
{
    static QHash<QString, int> files;
    return files;
}
std::mutex& restart_mutex()
{
    static std::mutex mutex;
    return mutex;
}
std::mutex& held_mutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

bool lock_wallet(const WalletIdentity& identity, QString* holder)
{
    if (!identity.known()) {
        return true;
    }
    const QString path = lock_path(identity.port.isEmpty() ? QStringLiteral("wallet-serial-") + identity.serial
                                                           : QStringLiteral("wallet-") + identity.port);
    const std::lock_guard<std::mutex> locked(held_mutex());
    if (lock_dir().isEmpty() || held().contains(path)) {
        return true;
    }
    const int fd = open_lock(path);
    if (fd < 0) {
        // Without the shared folder the update goes on, as before there were locks.
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (holder != nullptr) {
            *holder = read_holder(fd);
        }
        ::close(fd);
        return false;
    }
    write_holder(fd);
    held().insert(path, fd);
    return true;
}

RestartLock::RestartLock()
{
    // The threads of one process take their turn as well: where the wallets are
    // the process's own there is no shared file to lock.
    for (int waited = 0; !restart_mutex().try_lock(); waited += int(kRestartPollMs)) {
        if (stop_requested(StopLevel::NoNewWallets) || waited >= kRestartWaitMs) {
            return;
        }
        msleep(kRestartPollMs);
    }
    holds_mutex_ = true;
    fd_ = lock_dir().isEmpty() ? -1 : open_lock(lock_path(QStringLiteral("restart")));
    if (fd_ < 0) {
        return;
    }
    bool said = false;
    for (int waited = 0; ::flock(fd_, LOCK_EX | LOCK_NB) != 0; waited += int(kRestartPollMs)) {
        // A stop takes no new wallet: the caller ends before the restart.
        if (stop_requested(StopLevel::NoNewWallets)) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        if (waited >= kRestartWaitMs) {
            qDebug().noquote() << "the restart lock is still held by" << read_holder(fd_) << "; going on without it";
            ::close(fd_);
            fd_ = -1;
            return;
        }
        if (!said) {
            qDebug().noquote() << "waiting for" << read_holder(fd_)
                               << "to find its bootloader: this wallet has neither port nor serial to tell it by";
            said = true;
        }
        msleep(kRestartPollMs);
    }
    write_holder(fd_);
}

RestartLock::~RestartLock()
{
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (holds_mutex_) {
        restart_mutex().unlock();
    }
}
