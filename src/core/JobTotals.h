#pragma once

#include <QtGlobal>

namespace orvalt {

// What one item of a copy holds: its files, folders beneath it included, and their bytes.
struct JobTotals
{
    qint64 files = 0;
    qint64 bytes = 0;

    JobTotals& operator+=(const JobTotals& other)
    {
        files += other.files;
        bytes += other.bytes;
        return *this;
    }
};

} // namespace orvalt
