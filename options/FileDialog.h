#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

class QWidget;

// The longest path the file chooser hands back, as the 257-character buffer of the open-file record allows.
// A longer choice counts as a failed dialog.
inline constexpr qsizetype MaxChosenPathLength = 256;

// One choice of the chooser's file-type list: "Icon Images(*.ico;*.bmp;*.gif)" with its patterns.
struct FileFilter
{
    QString description;
    QStringList patterns;

    bool operator==(const FileFilter&) const = default;
};

// Splits "description|patterns|description|patterns..." into its choices, in order; patterns within one
// choice are separated by ";". A description without patterns after it is dropped; empty text gives none.
std::vector<FileFilter> parseFileFilter(const QString& filter);

// The name filter a Qt file dialog understands for one choice: the description, then the patterns in
// parentheses separated by blanks. "*.*" becomes "*", since it means every file where the filter text
// comes from, dotted or not.
QString toNameFilter(const FileFilter& filter);

// path, or "" when it is longer than MaxChosenPathLength.
QString acceptChosenPath(const QString& path);

// path with "." and defaultExt appended when its file name has no extension; path itself when it has one,
// when it is empty, or when defaultExt is empty.
QString applyDefaultExtension(const QString& path, const QString& defaultExt);

// Shows the open-file dialog modal to owner, offering the choices of filter (the first selected), opening
// in initialDir (the default folder when empty), with defaultExt appended to a typed name that has none.
// flags are the OPENFILENAME flags of the Windows dialog; the chooser elsewhere behaves as with flags 0 (the
// program's only call) and accepts the name of a file that does not exist too.
// Returns the full path of the chosen file, or "" when the user cancels or the dialog fails (a path longer
// than MaxChosenPathLength included). Never reports an error otherwise.
QString BrowseForFile(const QString& filter, const QString& defaultExt, const QString& initialDir,
                      quint32 flags, QWidget* owner);
