#include "ProgressWindow.h"
#include "ProgramEnd.h"

#include <QApplication>
#include <QIcon>

#ifndef _WIN32
#include "SingleInstance.h"

#include <winreg_store.h>
#endif

namespace {

// The window the user deals with now: a box the start-up is waiting on, else the main window.
void bringToFront(QWidget& mainWindow)
{
    QWidget* window = QApplication::activeModalWidget();
    if (!window) {
        window = &mainWindow;
    }
    if (!window->isVisible()) {
        return;
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dawdlex"));
    QApplication::setOrganizationName(QStringLiteral("Pendlewick"));
    QApplication::setApplicationVersion(QStringLiteral(DAWDLEX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(DAWDLEX_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/dawdlex/gear.svg")));

#ifndef _WIN32
    // A second program on the same settings would save over the first one's edits when it ends.
    dawdlex::SingleInstance instance(QString::fromLocal8Bit(RegStorePath()));
    if (instance.claim() == dawdlex::SingleInstance::Role::Another) {
        return 0;
    }
#endif

    dawdlex::ProgressWindow form;
    // SIGTERM, SIGINT, SIGHUP, the session's end and quitting all leave through endProgram, which saves
    // once.
    dawdlex::ProgramEnd end([&form] { form.endProgram(); });
    // The X server ending under the program: the windows are gone, the edits in them can still be saved.
    end.setSaveAtExit([&form] { form.saveSettings(); });
#ifndef _WIN32
    QObject::connect(&instance, &dawdlex::SingleInstance::activationRequested, &form,
                     [&form] { bringToFront(form); });
#endif
    form.start();
    // An end requested while a start-up message box was open has already saved.
    if (end.requested()) {
        return 0;
    }
    form.show();
    return app.exec();
}
