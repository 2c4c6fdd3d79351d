#include "progress/Form1.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dawdlex"));
    QApplication::setOrganizationName(QStringLiteral("Pendlewick"));
    QApplication::setApplicationVersion(QStringLiteral(DAWDLEX_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/dawdlex/gear.svg")));

    dawdlex::Form1 form;
    form.Form_Load();
    form.show();
    return app.exec();
}
