#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace dawdlex {

// The program's message boxes: modal, an OK button only, the information or warning symbol, and the
// application's title in the title bar. Tests swap the real box for a recorder so nothing blocks.

enum class MessageSymbol
{
    Information,
    Warning
};

// The title every box shows.
inline constexpr char kApplicationTitle[] = "Dawdlex";

// Shows the box and returns once it is dismissed; the event loop, and so every timer, keeps running
// meanwhile. With a replacement installed, hands the text and symbol to it instead and returns at once.
void showMessageBox(const QString& text, MessageSymbol symbol, QWidget* owner = nullptr);

using MessageBoxHandler = std::function<void(const QString& text, MessageSymbol symbol)>;

// Installs a replacement for the real box; an empty handler brings the real box back.
void setMessageBoxHandler(MessageBoxHandler handler);

} // namespace dawdlex
