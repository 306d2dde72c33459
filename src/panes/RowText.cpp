#include "panes/RowText.h"

#include <QDateTime>

namespace orvalt {

namespace {
constexpr int kSizeColumnWidth = 10;
}

QString sizeText(qint64 bytes)
{
    const qint64 thousands = bytes >= 1000 ? bytes / 1000 : 1;
    return (QString::number(thousands) + QLatin1String("KB"))
        .rightJustified(kSizeColumnWidth, QLatin1Char(' '));
}

QString dateText(const QDateTime& when)
{
    if (!when.isValid())
        return QString();
    return when.toString(QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

QString kindText(const QString& name)
{
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

} // namespace orvalt
