#include "ProgressWindow.h"
#include "ProgramEnd.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dawdlex"));
    QApplication::setOrganizationName(QStringLiteral("Pendlewick"));
    QApplication::setApplicationVersion(QStringLiteral(DAWDLEX_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(DAWDLEX_APP_ID));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/dawdlex/gear.svg")));

    dawdlex::ProgressWindow form;
    // SIGTERM, SIGINT, the session's end and quitting all leave through endProgram, which saves once.
    dawdlex::ProgramEnd end([&form] { form.endProgram(); });
    form.start();
    // An end requested while a start-up message box was open has already saved.
    if (end.requested()) {
        return 0;
    }
    form.show();
    return app.exec();
}
