#include "WindowFonts.h"

#include <QStringList>

namespace dawdlex {

namespace {

QFont makeFont(const QStringList& families, FontWeight weight)
{
    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setBold(weight == FontWeight::Bold);
    return font;
}

} // namespace

// Liberation Sans shares Arial's widths, so texts fit their boxes as laid out; DejaVu Sans is the fallback
// every Debian desktop has.
QFont dialogFont(FontWeight weight)
{
    return makeFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                     QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                     QStringLiteral("DejaVu Sans")},
                    weight);
}

QFont creditsFont()
{
    return makeFont(
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
        FontWeight::Bold);
}

} // namespace dawdlex
