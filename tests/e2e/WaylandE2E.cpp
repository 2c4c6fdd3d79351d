// The real windows as a native client of a real Wayland compositor (run under run-under-weston): the main
// window and, after a click on its icon, the Options window are mapped by the compositor, and the Cancel
// button saves what was entered there. Clicks are sent inside the program: the headless compositor has no
// input devices.
#include "OptionsWindow.h"
#include "PictureBox.h"
#include "ProgressWindow.h"

#include <windows.h>

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* settingsKey = "Software\\Pendlewick\\Dawdlex";

bool writeTitle(const std::string& title)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, settingsKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LSTATUS status =
        RegSetValueExA(key, "Title", 0, REG_SZ, reinterpret_cast<const BYTE*>(title.c_str()),
                       static_cast<DWORD>(title.size() + 1));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

std::string storedTitle()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "(no key)";
    char data[256] = {};
    DWORD size = sizeof data - 1;
    const LSTATUS status =
        RegQueryValueExA(key, "Title", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(data) : "(no value)";
}

TEST(WaylandE2E, IconOpensOptionsAndCancelSavesOnTheCompositor)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
    // A stored title, so that no first-start welcome box waits for a click.
    ASSERT_TRUE(writeTitle("Stored..."));

    dawdlex::ProgressWindow form;
    form.start();
    form.show();
    // On Wayland a window counts as exposed only once the compositor has configured its surface.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 10000)) << "the compositor never showed the main window";
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Stored..."));

    dawdlex::OptionsWindow* options = form.options();
    ASSERT_NE(options, nullptr);
    ASSERT_FALSE(options->isVisible());
    QTest::mouseClick(form.iconPicture(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(options->isVisible());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(options, 10000))
        << "the compositor never showed the Options window";

    // Set, not typed: key events reach Qt's Wayland input method, which needs a keyboard the headless
    // compositor does not have.
    options->titleEdit()->setText(QStringLiteral("Edited on Wayland"));
    QTest::mouseClick(form.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(storedTitle(), "Edited on Wayland");
}

} // namespace

int main(int argc, char** argv)
{
    // Nothing may reach the user's real settings.
    QTemporaryDir config;
    if (!config.isValid())
        return 1;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
