#pragma once

#include <QString>

// True when the file system reports the attributes of path: an existing file or folder. False for anything
// else: an empty or malformed path (one holding a NUL character), a missing file, an unreachable drive.
// Nothing is opened or read.
bool FileExists(const QString& path);
