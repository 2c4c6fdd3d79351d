#pragma once

#include "OptionsWindow.h"
#include "MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

#include <gtest/gtest.h>

#include <array>
#include <vector>

// What the windows reach outside the program, for the widget tests: the seams it hands out record message
// boxes and platform calls instead of making them. It also knows what a freshly made Options window holds.
// It owns no window.
class OptionsFakes
{
public:
    struct Message
    {
        QString text;
        dawdlex::MessageSymbol symbol;
    };

    OptionsFakes() = default;
    OptionsFakes(const OptionsFakes&) = delete;
    OptionsFakes& operator=(const OptionsFakes&) = delete;

    DesktopServices seams()
    {
        DesktopServices seams;
        seams.showMessage = [this](const QString& text, dawdlex::MessageSymbol symbol) {
            messages.push_back({text, symbol});
        };
        seams.setScreenSaverActive = [this](bool active) {
            saverCalls.push_back(active);
            return true;
        };
        seams.openUrl = [this](const QString& address) { opened.push_back(address); };
        seams.browseForFile = [this](const QString& filter, const QString& defaultExt, const QString&,
                                     quint32, QWidget*) {
            browseFilter = filter;
            browseExt = defaultExt;
            ++browseCalls;
            return chosenFile;
        };
        return seams;
    }

    static QStringList texts(const std::array<QLineEdit*, 5>& boxes)
    {
        QStringList out;
        for (const QLineEdit* box : boxes)
            out << box->text();
        return out;
    }

    static void expectDefaults(const dawdlex::OptionsWindow& form)
    {
        EXPECT_EQ(form.titleEdit()->text(), "Processing...");
        EXPECT_EQ(form.buttonTextEdit()->text(), "Cancel");
        EXPECT_EQ(texts(form.statusEdits()),
                  (QStringList{"Reading Files...", "Linking Data...", "Updating...", "", ""}));
        EXPECT_EQ(texts(form.delayEdits()), (QStringList{"50", "200", "400", "200", "200"}));
        EXPECT_TRUE(form.dualBarsCheck()->isChecked());
        EXPECT_FALSE(form.disableSaverCheck()->isChecked());
        EXPECT_EQ(form.iconChoice()->currentIndex(), 0);
        EXPECT_EQ(form.customIconPathEdit()->text(), "");
    }

    std::vector<Message> messages;
    std::vector<bool> saverCalls;
    std::vector<QString> opened;
    int browseCalls = 0;
    QString browseFilter, browseExt;
    QString chosenFile; // what the file chooser answers
};
