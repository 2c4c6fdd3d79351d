// The screen-saver helper: holds the desktop's screen saver off while it runs, and runs until the program
// asks it to stop, the session bus goes or its X connection goes (the user logged off). It is started
// detached, so it outlives the program that started it, and writes nothing anywhere.

#include "ScreenSaverOffBus.h"
#include "SessionBus.h"
#include "IdleInhibitor.h"
#include "XScreenSaverSuspension.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QObject>
#include <QTimer>

namespace {

using namespace dawdlex::platform;

// What the program calls over the bus to switch the screen saver back on.
class ReleaseService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.pendlewick.Dawdlex.ScreenSaverOff")

public:
    ReleaseService(IdleInhibitor& inhibitor, XScreenSaverSuspension& suspension)
        : m_inhibitor(inhibitor), m_suspension(suspension)
    {}

public slots:
    Q_SCRIPTABLE void Release()
    {
        m_inhibitor.releaseAll();
        m_suspension.release();
        // After the reply has gone out.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }

private:
    IdleInhibitor& m_inhibitor;
    XScreenSaverSuspension& m_suspension;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Without a bus there is no one to report the state to; the program switches the X server itself then.
    if (!sessionBusConfigured()) {
        return 2;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return 2;
    }
    const QString busName = QString::fromLatin1(screensaveroff::kBusName);
    if (bus.interface()->isServiceRegistered(busName)) {
        return 0;
    }

    // Everything is held before the name is claimed, so that whoever sees the name can count on it.
    IdleInhibitor inhibitor(bus);
    XScreenSaverSuspension suspension;
    const int held = inhibitor.inhibitPresent() + (suspension.suspend() ? 1 : 0);
    if (held == 0) {
        return 1;
    }
    ReleaseService service(inhibitor, suspension);
    if (!bus.registerObject(QString::fromLatin1(screensaveroff::kObjectPath), &service,
                            QDBusConnection::ExportScriptableSlots)) {
        return 1;
    }
    // Another helper that started at the same moment won: ours go with this process's connection.
    if (!bus.registerService(busName)) {
        return 0;
    }

    // The bus going away (the user logged off) ends the helper; so does the X connection's end, which the
    // suspension watches.
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), &app,
                SLOT(quit()));
    // Qt does not promise to pass that signal on; a look now and then catches a bus gone without it.
    QTimer busCheck;
    QObject::connect(&busCheck, &QTimer::timeout, &app, [] {
        if (!QDBusConnection::sessionBus().isConnected()) {
            QCoreApplication::quit();
        }
    });
    busCheck.start(2000);
    return app.exec();
}

#include "main.moc"
