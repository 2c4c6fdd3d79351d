#include "FileDialog.h"
#include "FileExists.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(FileDialog, FilterTextBecomesQtNameFiltersInOrder)
{
    const auto filters = parseFileFilter("Icons(*.ico;*.gif)|*.ico;*.gif|All files (*.*)|*.*|Orphan");
    ASSERT_EQ(filters.size(), 2u) << "a description without patterns offers nothing";
    EXPECT_EQ(toNameFilter(filters[0]), "Icons(*.ico;*.gif) (*.ico *.gif)");
    // "*.*" would hide files without a dot here; the filter means every file.
    EXPECT_EQ(toNameFilter(filters[1]), "All files (*.*) (*)");
}

TEST(FileDialog, ChosenPathGetsTheDefaultExtensionAndMustFitTheLimit)
{
    const QString atLimit = "/" + QString(MaxChosenPathLength - 5, u'a');
    const struct
    {
        QString typed, ext, chosen;
    } cases[] = {
        {"/home/u/picture", "ico", "/home/u/picture.ico"},
        {"/home/u/picture.bmp", "ico", "/home/u/picture.bmp"},
        {"/home/u/my.pictures/picture", "ico", "/home/u/my.pictures/picture.ico"},
        {"/home/u/picture.", "ico", "/home/u/picture."},
        {"/home/u/picture", "", "/home/u/picture"},
        {"", "ico", ""},
        {atLimit, "ico", atLimit + ".ico"},
        {atLimit + "b", "ico", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(acceptChosenPath(applyDefaultExtension(c.typed, c.ext)), c.chosen) << c.typed.toStdString();
}

TEST(FileExists, FilesAndFoldersExistAndPathsTheSystemCannotTakeAreMissing)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath("picture.ico"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(dir.filePath("gone.ico"), dir.filePath("dangling.ico")));
    const std::pair<QString, bool> cases[] = {
        {dir.filePath("picture.ico"), true},
        {dir.path() + "/", true},
        {dir.filePath("missing.ico"), false},
        {dir.filePath("picture.ico/inside"), false},
        {dir.filePath("dangling.ico"), false},
        {QString(), false},
        // The system call would see only the existing part before the NUL.
        {dir.filePath("picture.ico") + QChar(u'\0') + "tail", false},
    };
    for (const auto& [path, exists] : cases)
        EXPECT_EQ(FileExists(path), exists) << path.toStdString();
}

} // namespace
