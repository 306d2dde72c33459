#include "panes/ListingText.h"

#include "link/WireText.h"
#include "panes/RowText.h"

#include <QDateTime>
#include <limits>
#include <optional>

namespace orvalt {

namespace {

constexpr int kMaxFieldShown = 64;
// The first two-digit year read as 19yy (see dateOf).
constexpr int kFirstTwoDigitYearOf1900s = 80;

bool isDigits(const QString& s)
{
    if (s.isEmpty())
        return false;
    for (QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

std::optional<qint64> sizeOf(const ListingEntry& e)
{
    const QString s = e.sizeField.trimmed();
    if (!isDigits(s))
        return std::nullopt;
    bool ok = false;
    const qint64 n = s.toLongLong(&ok);
    return ok ? std::optional<qint64>(n) : std::nullopt;
}

QDateTime dateOf(const ListingEntry& e, int* resolution = nullptr)
{
    struct Form
    {
        const char* format;
        int resolution;
    };
    const QString joined = e.dateField.trimmed() + QLatin1Char(' ') + e.timeField.trimmed();
    for (const Form& form : {Form{"yyyy/MM/dd hh:mm:ss", 1}, Form{"yyyy/M/d h:m:s", 1},
                             Form{"yyyy-MM-dd hh:mm:ss", 1}, Form{"yyyy/MM/dd hh:mm", 60}}) {
        const QDateTime d = QDateTime::fromString(joined, QString::fromLatin1(form.format));
        if (d.isValid()) {
            if (resolution)
                *resolution = form.resolution;
            return d;
        }
    }
    // A two-digit year ("yy/MM/dd"): Qt would read it as 19yy. The media's file system cannot
    // hold a date before 1980, so 80..99 are 1980..1999 and 00..79 are 2000..2079. The century
    // is put in front of the text before it is read, so that 00/02/29 reads as the leap day of
    // 2000 rather than failing as a day 1900 never had.
    if (joined.size() > 2 && joined.at(0).isDigit() && joined.at(1).isDigit() &&
        joined.at(2) == QLatin1Char('/')) {
        const int yy = joined.left(2).toInt();
        const QString century = yy >= kFirstTwoDigitYearOf1900s ? QStringLiteral("19") : QStringLiteral("20");
        const QDateTime d = QDateTime::fromString(century + joined, QStringLiteral("yyyy/MM/dd hh:mm:ss"));
        if (d.isValid()) {
            if (resolution)
                *resolution = 1;
            return d;
        }
    }
    return QDateTime();
}

} // namespace

QDateTime listingDateTime(const ListingEntry& entry, int* resolution)
{
    return dateOf(entry, resolution);
}

QDateTime shownDateTime(const QString& shown)
{
    return QDateTime::fromString(shown, QStringLiteral("yyyy/MM/dd hh:mm:ss"));
}

std::optional<qint64> listingBytes(const ListingEntry& entry)
{
    return sizeOf(entry);
}

QList<ListingEntry> splitListing(QString listing)
{
    QList<ListingEntry> entries;
    NextField(listing); // the header
    for (;;) {
        QString name = NextField(listing);
        if (name.isEmpty())
            break;
        ListingEntry e;
        if (name.endsWith(QLatin1Char('/'))) {
            name.chop(1);
            e.folder = true;
        }
        e.name = name;
        e.sizeField = NextField(listing);
        e.dateField = NextField(listing);
        e.timeField = NextField(listing);
        NextField(listing); // the fifth field is not used
        if (e.name == QLatin1String(".."))
            continue;
        entries.append(e);
    }
    return entries;
}

QString listingDateText(const ListingEntry& entry)
{
    const QDateTime d = dateOf(entry);
    if (d.isValid())
        return dateText(d);
    return (entry.dateField + QLatin1Char(' ') + entry.timeField).left(kMaxFieldShown);
}

QString listingSizeText(const ListingEntry& entry)
{
    // The size text counts only the characters of the field: four or more give the thousands.
    const auto n = sizeOf(entry);
    if (!n)
        return entry.sizeField.left(kMaxFieldShown);
    return entry.sizeField.trimmed().size() >= 4 ? sizeText(*n) : sizeText(0);
}

QList<FileEntry> ParseListing(QString listing)
{
    QList<FileEntry> records;
    for (const ListingEntry& e : splitListing(std::move(listing))) {
        FileEntry f;
        f.name = e.name;
        f.shortName = e.name;
        f.date = listingDateText(e);
        const auto n = sizeOf(e);
        f.size = n && *n <= std::numeric_limits<qint32>::max() ? static_cast<qint32>(*n) : 0;
        f.attributes = e.folder ? FileEntry::kFolder : 0;
        records.append(f);
    }
    return records;
}

} // namespace orvalt
