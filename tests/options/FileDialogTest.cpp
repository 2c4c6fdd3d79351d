#include "FileDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>

// Readable failure messages for Qt texts.
static void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QString IconFilter =
    QStringLiteral("Icon Images(*.ico;*.bmp;*.gif)|*.ico;*.bmp;*.gif|All files (*.*)|*.*");

TEST(FileDialog, FilterTextGivesItsChoicesInOrderAsQtNameFilters)
{
    const std::vector<FileFilter> expected = {
        {"Icon Images(*.ico;*.bmp;*.gif)", {"*.ico", "*.bmp", "*.gif"}},
        {"All files (*.*)", {"*.*"}},
    };
    EXPECT_EQ(parseFileFilter(IconFilter), expected);
    EXPECT_TRUE(parseFileFilter(QString()).empty());
    // A description left without patterns offers nothing.
    EXPECT_EQ(parseFileFilter("Text|*.txt|Orphan"), (std::vector<FileFilter>{{"Text", {"*.txt"}}}));
    EXPECT_EQ(toNameFilter(expected[0]), "Icon Images(*.ico;*.bmp;*.gif) (*.ico *.bmp *.gif)");
    // "*.*" would hide files without a dot on this system; the filter means every file.
    EXPECT_EQ(toNameFilter(expected[1]), "All files (*.*) (*)");
}

TEST(FileDialog, ChosenPathsAreLimitedTo256Characters)
{
    const QString atLimit = "/" + QString(MaxChosenPathLength - 1, u'a');
    EXPECT_EQ(acceptChosenPath(atLimit), atLimit);
    EXPECT_EQ(acceptChosenPath(atLimit + "b"), QString());
    EXPECT_EQ(acceptChosenPath(QString()), QString());
}

TEST(FileDialog, DefaultExtensionGoesOnlyOnNamesWithoutOne)
{
    const struct
    {
        QString path;
        QString ext;
        QString expected;
    } cases[] = {
        {"/home/u/picture", "ico", "/home/u/picture.ico"},
        {"/home/u/picture.bmp", "ico", "/home/u/picture.bmp"},
        {"/home/u/my.pictures/picture", "ico", "/home/u/my.pictures/picture.ico"},
        {"/home/u/picture.", "ico", "/home/u/picture."},
        {"/home/u/picture", "", "/home/u/picture"},
        {"", "ico", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(applyDefaultExtension(c.path, c.ext), c.expected) << c.path.toStdString();
}

// Runs BrowseForFile with the real (non-native) Qt dialog and lets drive() act on the dialog once it shows.
// A watchdog rejects the dialog if drive() never gets to close it, so the test fails instead of hanging.
class BrowseForFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_folder.isValid());
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        m_owner.show();
    }

    QString browse(const std::function<void(QFileDialog*)>& drive)
    {
        m_sawDialog = false;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            poll.stop();
            m_sawDialog = true;
            drive(dialog);
        });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        watchdog.setInterval(20000);
        QObject::connect(&watchdog, &QTimer::timeout, [&] {
            m_watchdogFired = true;
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        poll.start();
        watchdog.start();
        const QString chosen = BrowseForFile(IconFilter, "ico", m_folder.path(), 0, &m_owner);
        EXPECT_TRUE(m_sawDialog);
        EXPECT_FALSE(m_watchdogFired);
        return chosen;
    }

    static void typeAndAccept(QFileDialog* dialog, const QString& name)
    {
        auto* nameBox = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(nameBox, nullptr);
        QTest::keyClicks(nameBox, name);
        QTest::keyClick(nameBox, Qt::Key_Return);
    }

    QString expectedPath(const QString& name) const
    {
        return QDir(QDir(m_folder.path()).canonicalPath()).filePath(name);
    }

    QTemporaryDir m_folder;
    QWidget m_owner;
    bool m_sawDialog = false;
    bool m_watchdogFired = false;
};

TEST_F(BrowseForFileTest, TypedNameWithoutExtensionComesBackAsFullIcoPath)
{
    QStringList shownChoices;
    QString selectedChoice;
    bool modalToOwner = false;
    const QString chosen = browse([&](QFileDialog* dialog) {
        if (auto* types = dialog->findChild<QComboBox*>("fileTypeCombo"))
            for (int i = 0; i < types->count(); ++i)
                shownChoices << types->itemText(i);
        selectedChoice = dialog->selectedNameFilter();
        modalToOwner = dialog->parentWidget() == &m_owner && dialog->windowModality() == Qt::WindowModal;
        typeAndAccept(dialog, "chosen");
    });

    EXPECT_EQ(chosen, expectedPath("chosen.ico"));
    EXPECT_EQ(shownChoices, (QStringList{"Icon Images(*.ico;*.bmp;*.gif)", "All files (*.*)"}));
    EXPECT_EQ(selectedChoice, "Icon Images(*.ico;*.bmp;*.gif)");
    EXPECT_TRUE(modalToOwner);
}

TEST_F(BrowseForFileTest, NameWithItsOwnExtensionIsKeptAndCancelGivesEmptyText)
{
    EXPECT_EQ(browse([](QFileDialog* dialog) { typeAndAccept(dialog, "photo.gif"); }),
              expectedPath("photo.gif"));
    EXPECT_EQ(browse([](QFileDialog* dialog) {
                  auto* nameBox = dialog->findChild<QLineEdit*>("fileNameEdit");
                  QTest::keyClicks(nameBox, "never");
                  QTest::keyClick(nameBox, Qt::Key_Escape);
              }),
              QString());
}

TEST_F(BrowseForFileTest, PathLongerThanTheLimitCountsAsFailure)
{
    // The typed path fits; only the appended extension takes it past the limit. The file name stays within
    // the file system's own limit, so the dialog itself accepts it.
    const QString name = QString(MaxChosenPathLength - expectedPath("").size() - 2, u'n');
    ASSERT_LE(expectedPath(name).size(), MaxChosenPathLength);
    ASSERT_GT(expectedPath(name + ".ico").size(), MaxChosenPathLength);
    ASSERT_LT(name.size() + 4, 255);
    QString selectedInDialog;
    const QString chosen = browse([&](QFileDialog* dialog) {
        QObject::connect(dialog, &QFileDialog::fileSelected,
                         [&](const QString& file) { selectedInDialog = file; });
        typeAndAccept(dialog, name);
    });
    EXPECT_EQ(selectedInDialog, expectedPath(name + ".ico"));
    EXPECT_EQ(chosen, QString());
}

} // namespace
