#include "FileExists.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class FileExistsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        QFile file(path("picture.ico"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(QDir(m_folder.path()).mkdir("sub folder"));
    }

    QString path(const QString& name) const { return m_folder.filePath(name); }

    QTemporaryDir m_folder;
};

TEST_F(FileExistsTest, FilesAndFoldersExistAndAnythingTheSystemCannotDescribeIsMissing)
{
    const struct
    {
        const char* what;
        QString path;
        bool exists;
    } cases[] = {
        {"file", path("picture.ico"), true},
        {"folder", path("sub folder"), true},
        {"folder with slash", path("sub folder/"), true},
        {"through ..", path("sub folder/../picture.ico"), true},
        {"empty", QString(), false},
        {"missing file", path("missing.ico"), false},
        {"missing folder on the way", path("nowhere/picture.ico"), false},
        {"a file used as a folder", path("picture.ico/inside"), false},
        // Without the NUL check the system call would see only the existing part before it.
        {"embedded NUL", path("picture.ico") + QChar(u'\0') + QStringLiteral("tail"), false},
        {"case differs", path("PICTURE.ICO"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExists(c.path), c.exists) << c.what;
}

TEST_F(FileExistsTest, DanglingLinkIsMissingAndNothingIsCreated)
{
    ASSERT_TRUE(QFile::link(path("gone.ico"), path("link.ico")));
    EXPECT_FALSE(FileExists(path("link.ico")));
    EXPECT_FALSE(QFile::exists(path("gone.ico")));
}

} // namespace
