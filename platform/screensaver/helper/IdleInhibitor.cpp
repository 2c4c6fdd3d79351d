#include "IdleInhibitor.h"

#include "ScreenSaverOffBus.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>

#include <algorithm>
#include <array>

namespace dawdlex::platform {
namespace {

struct InhibitService
{
    const char* name;
    const char* path;
    const char* interface;
    const char* uninhibit;
    bool sessionManager; // Inhibit(app id, toplevel xid, reason, flags) instead of Inhibit(app id, reason)
};

// The session manager's flag 8 is "idle": the session is not marked idle, so neither the screen saver nor
// monitor power saving starts.
constexpr quint32 kInhibitIdle = 8;

constexpr std::array<InhibitService, 4> kServices{{
    {"org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager", "Uninhibit", true},
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
     "UnInhibit", false},
    {"org.freedesktop.PowerManagement", "/org/freedesktop/PowerManagement/Inhibit",
     "org.freedesktop.PowerManagement.Inhibit", "UnInhibit", false},
    {"org.mate.ScreenSaver", "/org/mate/ScreenSaver", "org.mate.ScreenSaver", "UnInhibit", false},
}};

// A desktop service that hangs must not hold the helper for long.
constexpr int kCallTimeoutMs = 5000;

} // namespace

IdleInhibitor::IdleInhibitor(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(std::move(bus))
{
    m_watcher = new QDBusServiceWatcher(this);
    m_watcher->setConnection(m_bus);
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForRegistration |
                            QDBusServiceWatcher::WatchForUnregistration);
    for (const auto& service : kServices) {
        m_watcher->addWatchedService(QString::fromLatin1(service.name));
    }
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this](const QString& name) {
        for (int i = 0; i < int(kServices.size()); ++i) {
            if (name == QLatin1String(kServices[std::size_t(i)].name)) {
                inhibit(i);
            }
        }
    });
    // A service that went away took its inhibits with it; a cookie of the next owner is another one.
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) {
        std::erase_if(m_cookies, [&name](const Held& held) {
            return name == QLatin1String(kServices[std::size_t(held.service)].name);
        });
    });
}

IdleInhibitor::~IdleInhibitor() = default;

int IdleInhibitor::inhibitPresent()
{
    const QDBusConnectionInterface* names = m_bus.interface();
    for (int i = 0; i < int(kServices.size()); ++i) {
        if (names && names->isServiceRegistered(QString::fromLatin1(kServices[std::size_t(i)].name))) {
            inhibit(i);
        }
    }
    return held();
}

void IdleInhibitor::inhibit(int index)
{
    const InhibitService& service = kServices[std::size_t(index)];
    if (std::any_of(m_cookies.begin(), m_cookies.end(),
                    [index](const Held& h) { return h.service == index; })) {
        return;
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(QString::fromLatin1(service.name), QString::fromLatin1(service.path),
                                       QString::fromLatin1(service.interface), QStringLiteral("Inhibit"));
    const QString appId = QString::fromLatin1(screensaveroff::kApplicationId);
    const QString reason = QString::fromLatin1(screensaveroff::kReason);
    if (service.sessionManager) {
        // No toplevel window: the helper has none, and the inhibit is the session's, not a window's.
        call << appId << quint32(0) << reason << kInhibitIdle;
    } else {
        call << appId << reason;
    }
    // Only a service that is running: starting a desktop's screen saver on request is not ours to do.
    call.setAutoStartService(false);
    const QDBusReply<quint32> reply = m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.isValid()) {
        m_cookies.push_back({index, reply.value()});
    }
}

void IdleInhibitor::releaseAll()
{
    for (const Held& held : m_cookies) {
        const InhibitService& service = kServices[std::size_t(held.service)];
        QDBusMessage call = QDBusMessage::createMethodCall(
            QString::fromLatin1(service.name), QString::fromLatin1(service.path),
            QString::fromLatin1(service.interface), QString::fromLatin1(service.uninhibit));
        call << held.cookie;
        call.setAutoStartService(false);
        m_bus.call(call, QDBus::Block, kCallTimeoutMs);
    }
    m_cookies.clear();
}

} // namespace dawdlex::platform
