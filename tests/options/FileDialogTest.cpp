#include "FileDialog.h"
#include "FileExists.h"

#include <QCoreApplication>

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

// The program always offers "ico" as the default extension.
TEST(FileDialog, ChosenPathGetsTheDefaultExtensionAndMustFitTheLimit)
{
    const QString atLimit = "/" + QString(MaxChosenPathLength - 5, u'a');
    const std::pair<QString, QString> cases[] = {
        {"/home/u/picture", "/home/u/picture.ico"},
        {"/home/u/picture.bmp", "/home/u/picture.bmp"},
        {"/home/u/my.pictures/picture", "/home/u/my.pictures/picture.ico"},
        {"/home/u/picture.", "/home/u/picture."},
        {"", ""},
        {atLimit, atLimit + ".ico"},
        {atLimit + "b", ""}};
    for (const auto& [typed, chosen] : cases)
        EXPECT_EQ(acceptChosenPath(applyDefaultExtension(typed, "ico")), chosen) << typed.toStdString();
}

TEST(FileExists, FilesAndFoldersExistAndPathsTheSystemCannotTakeAreMissing)
{
    const QString file = QCoreApplication::applicationFilePath();
    // With a NUL the system call would see only the existing part before it.
    const std::pair<QString, bool> cases[] = {{file, true},
                                              {QCoreApplication::applicationDirPath(), true},
                                              {file + ".gone", false},
                                              {QString(), false},
                                              {file + QChar(u'\0') + "tail", false}};
    for (const auto& [path, exists] : cases)
        EXPECT_EQ(FileExists(path), exists) << path.toStdString();
}

} // namespace
