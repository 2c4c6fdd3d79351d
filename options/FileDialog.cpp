#include "FileDialog.h"

#include <QFileInfo>

#ifdef _WIN32
#include <QByteArray>
#include <QWidget>

#include <windows.h>

#include <commdlg.h>
#else
#include <QDir>
#include <QFileDialog>
#endif

std::vector<FileFilter> parseFileFilter(const QString& filter)
{
    const QStringList parts = filter.split(u'|');
    std::vector<FileFilter> filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        filters.push_back({parts.at(i), parts.at(i + 1).split(u';', Qt::SkipEmptyParts)});
    return filters;
}

QString toNameFilter(const FileFilter& filter)
{
    QStringList patterns;
    for (const QString& pattern : filter.patterns)
        patterns << (pattern == u"*.*" ? QStringLiteral("*") : pattern.trimmed());
    return filter.description + QStringLiteral(" (") + patterns.join(u' ') + u')';
}

QString acceptChosenPath(const QString& path)
{
    return path.size() > MaxChosenPathLength ? QString() : path;
}

QString applyDefaultExtension(const QString& path, const QString& defaultExt)
{
    if (path.isEmpty() || defaultExt.isEmpty() || QFileInfo(path).fileName().contains(u'.'))
        return path;
    return path + u'.' + defaultExt;
}

#ifdef _WIN32

QString BrowseForFile(const QString& filter, const QString& defaultExt, const QString& initialDir,
                      quint32 flags, QWidget* owner)
{
    // Each "|" becomes a NUL; the array's own terminator after the appended NUL closes the list with two.
    QByteArray filterList = filter.toLocal8Bit();
    filterList.replace('|', '\0');
    filterList.append('\0');
    // 255 blanks and two NULs: the dialog's initial file name and room for a 256-character path.
    QByteArray fileBuffer(255, ' ');
    fileBuffer.append(2, '\0');
    const QByteArray defaultExtension = defaultExt.toLocal8Bit();
    const QByteArray initialFolder = initialDir.toLocal8Bit();

    OPENFILENAMEA record{};
    // The size of the record these headers declare: the classic 32-bit record has 76 bytes, current headers
    // add three reserved fields (88 bytes on 32-bit, 152 on 64-bit); the dialog accepts both.
    record.lStructSize = sizeof(record);
    record.hwndOwner = owner ? reinterpret_cast<HWND>(owner->winId()) : nullptr;
    record.lpstrFilter = filterList.constData();
    record.lpstrFile = fileBuffer.data();
    record.nMaxFile = static_cast<DWORD>(fileBuffer.size());
    record.lpstrInitialDir = initialDir.isEmpty() ? nullptr : initialFolder.constData();
    record.Flags = flags;
    record.lpstrDefExt = defaultExt.isEmpty() ? nullptr : defaultExtension.constData();
    if (GetOpenFileNameA(&record) == 0)
        return {};
    return acceptChosenPath(QString::fromLocal8Bit(fileBuffer.constData()));
}

#else

QString BrowseForFile(const QString& filter, const QString& defaultExt, const QString& initialDir,
                      quint32 /*flags*/, QWidget* owner)
{
    QFileDialog dialog(owner);
    // Modal to the owner only, so the main window keeps running behind it.
    dialog.setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Shows each choice by its description alone, as written in the filter text.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    QStringList nameFilters;
    for (const FileFilter& choice : parseFileFilter(filter))
        nameFilters << toNameFilter(choice);
    dialog.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dialog.selectNameFilter(nameFilters.first());
    dialog.setDefaultSuffix(defaultExt);
    if (!initialDir.isEmpty())
        dialog.setDirectory(initialDir);

    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return {};
    // A native chooser may ignore the default suffix; the rule is the same, so applying it twice is harmless.
    return acceptChosenPath(applyDefaultExtension(QDir::toNativeSeparators(chosen.first()), defaultExt));
}

#endif
