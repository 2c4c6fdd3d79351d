#pragma once

#include <QFont>

namespace dawdlex {

// The fonts both windows are drawn in: the classic 8.25 pt dialog face where it is installed, else the
// nearest sans-serif of similar width.

enum class FontWeight
{
    Normal,
    Bold
};

QFont dialogFont(FontWeight weight = FontWeight::Normal);

// The face of the Options window's credits line.
QFont creditsFont();

} // namespace dawdlex
