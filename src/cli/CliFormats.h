#pragma once

#include "panes/ListingText.h"
#include "panes/RemotePaths.h"

#include <QList>
#include <QString>

namespace orvalt::cli {

// What ls and info write for a script to read (--format=tsv, --format=json), beside the text the
// panes show. Sizes are exact bytes, dates ISO 8601 in the instrument's own time (it keeps no
// time zone), kinds "file" or "folder".

// A field of a tab-separated line: a backslash, a tab, a line end and any other control character
// are written as an escape (\\, \t, \n, \r, \xNN), so that one entry stays one line of fields.
QString tsvField(const QString& text);

// One line an entry: name, bytes, date, kind, separated by tabs. A size or date the listing gives
// in no form that can be read is an empty field.
QString listingTsv(const QList<ListingEntry>& entries);
// An array of {"name", "size", "date", "kind"}; size and date null where they cannot be read.
QString listingJson(const QList<ListingEntry>& entries);

// What info tells: the model, whether the instrument takes long names, its media.
struct InstrumentInfo
{
    QString model;
    bool longNames = false;
    QList<MediumInfo> media;
};
// "model", "long-names" (yes or no), then a "medium" line for each, with its code and name.
QString infoTsv(const InstrumentInfo& info);
// {"model", "long_names", "media": [{"code", "name"}]}.
QString infoJson(const InstrumentInfo& info);

} // namespace orvalt::cli
