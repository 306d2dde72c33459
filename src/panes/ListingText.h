#pragma once

#include "panes/FileEntry.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace orvalt {

// Reading the instrument's listing ("DIR?"): one text of comma-separated fields, a header, then
// name, size, date, time and a fifth field for each entry; a folder's name ends with "/".

// One entry of a listing as it came from the instrument. The listing is untrusted: every field is
// kept as text, and the numbers and dates are read with checks.
struct ListingEntry
{
    QString name; // without the folder's "/"
    bool folder = false;
    QString sizeField;
    QString dateField;
    QString timeField;
};

// Splits a listing into its entries, ".." left out, up to the first empty name.
QList<ListingEntry> splitListing(QString listing);

// The listing as FileEntry records (".." left out): name and short name the entry's name, date
// the date and time in the program's date form, size, attributes 16 for a folder.
QList<FileEntry> ParseListing(QString listing);

// The size of an entry in bytes, when its field is a number.
std::optional<qint64> listingBytes(const ListingEntry& entry);

// The date and time of an entry as the host's local time, and the step of its clock in seconds
// (60 when the listing gives no seconds); an invalid time when the fields do not read as one.
QDateTime listingDateTime(const ListingEntry& entry, int* resolution = nullptr);
// A date as the panes show it ("yyyy/MM/dd hh:mm:ss"), read back; invalid for any other text.
QDateTime shownDateTime(const QString& shown);

// The row texts of an entry: a date and time that do not read as one show the two fields as they
// came; a size that is not a number shows as it came.
QString listingDateText(const ListingEntry& entry);
QString listingSizeText(const ListingEntry& entry);

} // namespace orvalt
