#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <vector>

class QDBusServiceWatcher;

namespace dawdlex::platform {

// Holds the desktop's screen saver off through every idle-inhibit service of the session bus that is
// present, on this process's own bus connection: each inhibit lasts until it is released or the connection
// closes, so nothing outlives the process. Services that appear later (a screen saver restarted) are
// inhibited when they appear.
class IdleInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit IdleInhibitor(QDBusConnection bus, QObject* parent = nullptr);
    ~IdleInhibitor() override;

    // Inhibits every service present now; the number of inhibits held afterwards.
    int inhibitPresent();
    int held() const { return int(m_cookies.size()); }

    // Gives every inhibit back; the services forget this process.
    void releaseAll();

private:
    struct Held
    {
        int service;
        quint32 cookie;
    };

    void inhibit(int service);

    QDBusConnection m_bus;
    QDBusServiceWatcher* m_watcher = nullptr;
    std::vector<Held> m_cookies;
};

} // namespace dawdlex::platform
