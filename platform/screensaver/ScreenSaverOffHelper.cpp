#include "ScreenSaverOffHelper.h"

#include "ScreenSaverOffBus.h"
#include "SessionBus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <csignal>

namespace dawdlex::platform {
namespace {

// Long enough for a helper to start on a loaded machine; short enough that a stuck one does not freeze the
// window for long.
constexpr int kWaitMs = 5000;
constexpr int kPollMs = 20;

QString busName()
{
    return QString::fromLatin1(screensaveroff::kBusName);
}

bool nameOwned(const QDBusConnection& bus)
{
    const QDBusConnectionInterface* names = bus.interface();
    return names && names->isServiceRegistered(busName()).value();
}

// Installed beside the program, at the same relative place as in the build tree.
QString helperPath()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QStringLiteral(DAWDLEX_SCREENSAVER_HELPER));
}

bool processGone(qint64 pid)
{
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

template <typename Done> bool waitFor(Done done)
{
    const QDeadlineTimer deadline(kWaitMs);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(kPollMs);
    }
    return true;
}

} // namespace

bool ScreenSaverOffHelper::available()
{
    return sessionBusConfigured() && QDBusConnection::sessionBus().isConnected();
}

bool ScreenSaverOffHelper::isSwitchedOff()
{
    return available() && nameOwned(QDBusConnection::sessionBus());
}

bool ScreenSaverOffHelper::switchOff()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (nameOwned(bus)) {
        return true;
    }
    // Detached and with nothing of ours: it outlives the program, and must not hold a terminal, a pipe
    // someone waits on or a folder that is to be removed.
    QProcess helper;
    helper.setProgram(helperPath());
    helper.setStandardInputFile(QProcess::nullDevice());
    helper.setStandardOutputFile(QProcess::nullDevice());
    helper.setStandardErrorFile(QProcess::nullDevice());
    helper.setWorkingDirectory(QDir::rootPath());
    qint64 pid = 0;
    if (!helper.startDetached(&pid)) {
        return false;
    }
    // A helper that ends without its name on the bus held nothing, or lost the race to another one.
    waitFor([&] { return nameOwned(bus) || processGone(pid); });
    return nameOwned(bus);
}

bool ScreenSaverOffHelper::switchOn()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!nameOwned(bus)) {
        return true;
    }
    QDBusMessage release = QDBusMessage::createMethodCall(
        busName(), QString::fromLatin1(screensaveroff::kObjectPath),
        QString::fromLatin1(screensaveroff::kInterface), QString::fromLatin1(screensaveroff::kReleaseMethod));
    release.setAutoStartService(false);
    bus.call(release, QDBus::Block, kWaitMs);
    return waitFor([&] { return !nameOwned(bus); });
}

} // namespace dawdlex::platform
