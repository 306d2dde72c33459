#pragma once

#include <QString>

namespace orvalt {

// A private-profile file: "[Section]" lines and "key=value" lines. Section and key names match
// without regard to case; a write changes only its own key's line (or adds the key at the end of
// its section, or the section at the end of the file) and keeps every other line, comment and the
// order; a value reads back trimmed and cut to 255 characters.
class ProfileFile
{
public:
    static constexpr int kMaxValueLength = 255;

    explicit ProfileFile(QString path)
        : m_path(std::move(path))
    {}

    const QString& path() const { return m_path; }

    // The stored value, or def when the file, section or key is missing, or when the file is not a
    // regular file (a FIFO, a device), which is never opened.
    QString read(const QString& section, const QString& key, const QString& def) const;
    // False when the file could not be read or written, or when a name or the value holds a line
    // break; the file is then unchanged.
    bool write(const QString& section, const QString& key, const QString& value) const;

private:
    QString m_path;
};

} // namespace orvalt
