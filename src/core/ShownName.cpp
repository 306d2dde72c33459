#include "core/ShownName.h"

namespace orvalt {

namespace {
constexpr qsizetype kMaxShownName = 64;
}

QString escapedName(const QString& name)
{
    QString shown;
    for (const QChar c : name.left(kMaxShownName)) {
        if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    if (name.size() > kMaxShownName)
        shown += QStringLiteral("...");
    return shown;
}

} // namespace orvalt
