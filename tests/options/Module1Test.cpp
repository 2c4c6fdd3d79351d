#include "options/Module1.h"

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

TEST_F(FileExistsTest, ExistingFilesAndFoldersCountAsExisting)
{
    EXPECT_TRUE(FileExists(path("picture.ico")));
    EXPECT_TRUE(FileExists(path("sub folder")));
    EXPECT_TRUE(FileExists(path("sub folder/")));
    EXPECT_TRUE(FileExists(path("sub folder/../picture.ico")));
}

TEST_F(FileExistsTest, AnythingTheSystemCannotDescribeIsMissing)
{
    const struct
    {
        const char* what;
        QString path;
    } cases[] = {
        {"empty", QString()},
        {"missing file", path("missing.ico")},
        {"missing folder on the way", path("nowhere/picture.ico")},
        {"a file used as a folder", path("picture.ico/inside")},
        // Without the NUL check the system call would see only the existing part before it.
        {"embedded NUL", path("picture.ico") + QChar(u'\0') + QStringLiteral("tail")},
        {"case differs", path("PICTURE.ICO")},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(FileExists(c.path)) << c.what;
}

TEST_F(FileExistsTest, DanglingLinkIsMissingAndNothingIsCreated)
{
    ASSERT_TRUE(QFile::link(path("gone.ico"), path("link.ico")));
    EXPECT_FALSE(FileExists(path("link.ico")));
    EXPECT_FALSE(QFile::exists(path("gone.ico")));
}

} // namespace
