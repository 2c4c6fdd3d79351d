#include "MessageBoxes.h"

#include <QMessageBox>

namespace dawdlex {

namespace {

MessageBoxHandler& replacement()
{
    static MessageBoxHandler handler;
    return handler;
}

} // namespace

void showMessageBox(const QString& text, MessageSymbol symbol, QWidget* owner)
{
    if (replacement()) {
        replacement()(text, symbol);
        return;
    }
    const auto icon = symbol == MessageSymbol::Warning ? QMessageBox::Warning : QMessageBox::Information;
    QMessageBox box(icon, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, owner);
    box.exec();
}

void setMessageBoxHandler(MessageBoxHandler handler)
{
    replacement() = std::move(handler);
}

} // namespace dawdlex
