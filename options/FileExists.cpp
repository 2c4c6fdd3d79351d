#include "FileExists.h"

#include <QByteArray>

#ifdef _WIN32
#include <windows.h>
#else
#include <QFile>

#include <sys/stat.h>
#endif

bool FileExists(const QString& path)
{
    // A NUL would cut the path short at the system call and test some other, shorter path.
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return false;
#ifdef _WIN32
    return GetFileAttributesA(path.toLocal8Bit().constData()) != INVALID_FILE_ATTRIBUTES;
#else
    struct stat attributes;
    return ::stat(QFile::encodeName(path).constData(), &attributes) == 0;
#endif
}
