#pragma once

#include <QString>

class QWidget;

namespace dawdlex {

// The program's message boxes: modal, an OK button only, the information or warning symbol, and the
// application's title in the title bar. The windows reach them through DesktopServices, so that tests
// can record them instead.

enum class MessageSymbol
{
    Information,
    Warning
};

// The title every box shows.
inline constexpr char kApplicationTitle[] = "Dawdlex";

// Shows the box and returns once it is dismissed; the event loop, and so every timer, keeps running
// meanwhile.
void showMessageBox(const QString& text, MessageSymbol symbol, QWidget* owner = nullptr);

} // namespace dawdlex
