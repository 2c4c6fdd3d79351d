// Switches the screen saver the way the program does and tells the result in its exit status, which the
// program itself ignores:   saver-switch on|off
#include "ScreenSaver.h"

#include <QCoreApplication>

#include <cstring>

int main(int argc, char** argv)
{
    const QCoreApplication app(argc, argv);
    if (argc != 2) {
        return 2;
    }
    return dawdlex::platform::setScreenSaverActive(std::strcmp(argv[1], "on") == 0) ? 0 : 1;
}
