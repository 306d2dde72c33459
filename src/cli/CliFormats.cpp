#include "cli/CliFormats.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace orvalt::cli {

namespace {

// The instrument's time as ISO 8601 without a zone; empty when the listing's date cannot be read.
QString isoDate(const ListingEntry& entry)
{
    const QDateTime date = listingDateTime(entry);
    return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) : QString();
}

QString kindOf(const ListingEntry& entry)
{
    return entry.folder ? QStringLiteral("folder") : QStringLiteral("file");
}

QString json(const QJsonDocument& document)
{
    return QString::fromUtf8(document.toJson(QJsonDocument::Indented));
}

} // namespace

QString tsvField(const QString& text)
{
    QString field;
    field.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            field += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\t'))
            field += QStringLiteral("\\t");
        else if (c == QLatin1Char('\n'))
            field += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            field += QStringLiteral("\\r");
        else if (c.category() == QChar::Other_Control)
            field += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            field += c;
    }
    return field;
}

QString listingTsv(const QList<ListingEntry>& entries)
{
    QString text;
    for (const ListingEntry& e : entries) {
        const std::optional<qint64> bytes = listingBytes(e);
        text += tsvField(e.name) + QLatin1Char('\t') + (bytes ? QString::number(*bytes) : QString()) +
                QLatin1Char('\t') + isoDate(e) + QLatin1Char('\t') + kindOf(e) + QLatin1Char('\n');
    }
    return text;
}

QString listingJson(const QList<ListingEntry>& entries)
{
    QJsonArray array;
    for (const ListingEntry& e : entries) {
        const std::optional<qint64> bytes = listingBytes(e);
        const QString date = isoDate(e);
        array.append(QJsonObject{
            {QStringLiteral("name"), e.name},
            {QStringLiteral("size"), bytes ? QJsonValue(static_cast<double>(*bytes)) : QJsonValue()},
            {QStringLiteral("date"), date.isEmpty() ? QJsonValue() : QJsonValue(date)},
            {QStringLiteral("kind"), kindOf(e)},
        });
    }
    return json(QJsonDocument(array));
}

QString infoTsv(const InstrumentInfo& info)
{
    QString text =
        QStringLiteral("model\t%1\nlong-names\t%2\n")
            .arg(tsvField(info.model), info.longNames ? QStringLiteral("yes") : QStringLiteral("no"));
    for (const MediumInfo& m : info.media)
        text += QStringLiteral("medium\t%1\t%2\n").arg(tsvField(m.mediumCode), tsvField(m.name));
    return text;
}

QString infoJson(const InstrumentInfo& info)
{
    QJsonArray media;
    for (const MediumInfo& m : info.media)
        media.append(QJsonObject{{QStringLiteral("code"), m.mediumCode}, {QStringLiteral("name"), m.name}});
    return json(QJsonDocument(QJsonObject{
        {QStringLiteral("model"), info.model},
        {QStringLiteral("long_names"), info.longNames},
        {QStringLiteral("media"), media},
    }));
}

} // namespace orvalt::cli
