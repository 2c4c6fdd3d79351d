#include "MessageBoxes.h"

#include <QMessageBox>

namespace dawdlex {

void showMessageBox(const QString& text, MessageSymbol symbol, QWidget* owner)
{
    const auto icon = symbol == MessageSymbol::Warning ? QMessageBox::Warning : QMessageBox::Information;
    QMessageBox box(icon, QString::fromLatin1(kApplicationTitle), text, QMessageBox::Ok, owner);
    box.exec();
}

} // namespace dawdlex
