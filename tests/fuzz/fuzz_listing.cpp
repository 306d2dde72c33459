// The instrument's "DIR?" listing: the bytes of its blocks, each one a Latin-1 character.

#include "FuzzCheck.h"
#include "link/WireText.h"
#include "panes/ListingText.h"

#include <cstddef>
#include <cstdint>

using namespace orvalt;

namespace {

constexpr int kMaxFieldShown = 64; // longer fields are cut in the row texts; sizes and dates are shorter

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString listing =
        QString::fromLatin1(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const QList<ListingEntry> entries = splitListing(listing);
    for (const ListingEntry& e : entries) {
        FUZZ_CHECK(!e.name.isEmpty() || e.folder);
        FUZZ_CHECK(e.name != QLatin1String(".."));
        for (const QString* field : {&e.name, &e.sizeField, &e.dateField, &e.timeField})
            FUZZ_CHECK(!field->contains(QLatin1Char(',')));
        FUZZ_CHECK(listingSizeText(e).size() <= kMaxFieldShown);
        FUZZ_CHECK(listingDateText(e).size() <= kMaxFieldShown);
    }

    const QList<FileEntry> records = ParseListing(listing);
    FUZZ_CHECK(records.size() == entries.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        const FileEntry& f = records.at(i);
        FUZZ_CHECK(f.name == entries.at(i).name);
        FUZZ_CHECK(f.size >= 0);
        FUZZ_CHECK(f.isFolder() == entries.at(i).folder);
    }

    // The fields NextField takes off one by one join back into the listing (a comma at its very end
    // ends the last field and starts none).
    QString rest = listing;
    QStringList fields;
    for (qsizetype guard = 0; guard <= listing.size() && !rest.isEmpty(); ++guard)
        fields.append(NextField(rest));
    FUZZ_CHECK(rest.isEmpty());
    FUZZ_CHECK(fields.join(QLatin1Char(',')) ==
               (listing.endsWith(QLatin1Char(',')) ? listing.chopped(1) : listing));
    return 0;
}
