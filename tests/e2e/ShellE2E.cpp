#include "DesktopServices.h"
#include "Shell.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// Puts a stand-in for xdg-open first on PATH: it records its argument, sleeps 5 s, then leaves a second
// marker. An opener that waited for it would only return once that marker exists.
class OpenUrlTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        ASSERT_TRUE(QDir(m_folder.path()).mkdir("bin"));
        QFile opener(m_folder.filePath("bin/xdg-open"));
        ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
        opener.write(QStringLiteral("#!/bin/sh\n"
                                    "printf '%s' \"$1\" > '%1.part' && mv '%1.part' '%1'\n"
                                    "sleep 5\n"
                                    ": > '%2'\n")
                         .arg(recorded(), finished())
                         .toLocal8Bit());
        opener.close();
        ASSERT_TRUE(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        m_path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(m_folder.filePath("bin")) + ':' + m_path);
    }

    void TearDown() override
    {
        qputenv("PATH", m_path);
        // Let a stand-in that ran end before its folder goes away.
        if (QFileInfo::exists(recorded()))
            waitFor(finished(), 20000);
    }

    QString recorded() const { return m_folder.filePath("address"); }
    QString finished() const { return m_folder.filePath("finished"); }

    // Polls for a file; the deadline only keeps a broken run from hanging.
    static bool waitFor(const QString& file, int milliseconds)
    {
        const QDeadlineTimer deadline(milliseconds);
        while (!QFileInfo::exists(file)) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    static QString contents(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

    QTemporaryDir m_folder;
    QByteArray m_path;
};

TEST_F(OpenUrlTest, HomePageGoesToTheDesktopOpenerWithoutWaiting)
{
    DesktopServices::platformDefaults().openUrl(QString::fromLatin1(MakerHomePage));
    EXPECT_FALSE(QFileInfo::exists(finished())) << "openUrl waited for the opener";

    ASSERT_TRUE(waitFor(recorded(), 20000)) << "the opener never ran";
    EXPECT_EQ(contents(recorded()), "https://pendlewick.example/");
}

TEST(OpenUrl, RefusesTextThatIsNoAddress)
{
    EXPECT_FALSE(dawdlex::platform::openUrl(""));
    EXPECT_FALSE(dawdlex::platform::openUrl("http://exa mple.com:notaport/"));
}

} // namespace
