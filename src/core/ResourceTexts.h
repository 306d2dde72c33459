#pragma once

#include <QList>
#include <QString>

namespace orvalt {

// The numbered table of the program's English texts.
namespace ResourceTexts {

// The text of number n, or a null QString when the table holds no such number.
QString text(int n);
bool contains(int n);
// All numbers of the table, ascending.
QList<int> numbers();

} // namespace ResourceTexts

} // namespace orvalt
