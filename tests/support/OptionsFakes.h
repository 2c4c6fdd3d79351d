#pragma once

#include "OptionsWindow.h"
#include "MessageBoxes.h"

#include <functional>
#include <ostream>
#include <vector>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// What the windows reach outside the program, for the widget tests: the seams it hands out record message
// boxes and screen-saver switches instead of making them; `duringMessage` runs while a box would be open.
// The browser and the file chooser are left out: the windows then do nothing. It owns no window.
class OptionsFakes
{
public:
    struct Message
    {
        QString text;
        dawdlex::MessageSymbol symbol;
    };

    DesktopServices seams()
    {
        DesktopServices seams;
        seams.showMessage = [this](const QString& text, dawdlex::MessageSymbol symbol) {
            messages.push_back({text, symbol});
            if (duringMessage)
                duringMessage();
        };
        seams.setScreenSaverActive = [this](bool active) {
            saverCalls.push_back(active);
            return true;
        };
        return seams;
    }

    std::vector<Message> messages;
    std::vector<bool> saverCalls;
    std::function<void()> duringMessage;
};
