#include "core/ProfileFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace orvalt {

namespace {

// A settings file is a few hundred bytes; anything much larger is not ours, and reading it whole
// would let a stray file exhaust memory.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

QString sectionOf(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (t.size() < 2 || !t.startsWith('['))
        return QString();
    const int close = t.indexOf(']');
    if (close < 0)
        return QString();
    return QString::fromLocal8Bit(t.mid(1, close - 1)).trimmed();
}

bool isSection(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    return t.startsWith('[') && t.indexOf(']') > 0;
}

// The key of a "key=value" line, or a null string for comments and other lines.
QString keyOf(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';'))
        return QString();
    const int eq = t.indexOf('=');
    if (eq <= 0)
        return QString();
    return QString::fromLocal8Bit(t.left(eq)).trimmed();
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The file's lines; *readable is false when the file exists but could not be read whole.
QList<QByteArray> readLines(const QString& path, bool* exists, QByteArray* eol, bool* readable = nullptr)
{
    QFile f(path);
    *exists = f.exists();
    if (readable)
        *readable = !*exists;
    // Opening a FIFO waits for a writer and a device reads without end: only a regular file (or a
    // link to one) is opened at all, anything else reads as a file that cannot be read.
    if (*exists && !QFileInfo(path).isFile())
        return {};
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileSize)
        return {};
    if (readable)
        *readable = true;
    const QByteArray all = f.readAll();
    if (all.contains("\r\n"))
        *eol = "\r\n";
    QList<QByteArray> lines = all.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the final line feed ends the last line; it is not an empty line
    for (QByteArray& l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    return lines;
}

} // namespace

QString ProfileFile::read(const QString& section, const QString& key, const QString& def) const
{
    bool exists = false;
    QByteArray eol = "\n";
    const QList<QByteArray> lines = readLines(m_path, &exists, &eol);
    bool inSection = false;
    for (const QByteArray& line : lines) {
        if (isSection(line)) {
            inSection = sameName(sectionOf(line), section);
            continue;
        }
        if (inSection && sameName(keyOf(line), key)) {
            const QByteArray value = line.mid(line.indexOf('=') + 1).trimmed();
            return QString::fromLocal8Bit(value).left(kMaxValueLength);
        }
    }
    return def.left(kMaxValueLength);
}

bool ProfileFile::write(const QString& section, const QString& key, const QString& value) const
{
    bool exists = false;
    QByteArray eol = "\n";
#ifdef Q_OS_WIN
    eol = "\r\n";
#endif
    // A line break would end the line early and let a value write a key of its own; the file is
    // line-based, so such a text cannot be stored.
    for (const QString* text : {&section, &key, &value})
        if (text->contains(QLatin1Char('\n')) || text->contains(QLatin1Char('\r')))
            return false;
    bool readable = false;
    QList<QByteArray> lines = readLines(m_path, &exists, &eol, &readable);
    // Writing back what could not be read would throw the rest of the file away.
    if (!readable)
        return false;
    // A read-only file is a write failure, even where the folder would let us replace it and even
    // for an administrator, as a file marked read-only is on every platform.
    if (exists) {
        const QFileInfo info(m_path);
        const auto anyWrite = QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        if (!info.isWritable() || !(info.permissions() & anyWrite))
            return false;
    }

    const QByteArray newLine = key.toLocal8Bit() + '=' + value.toLocal8Bit();
    int sectionStart = -1;  // index of the section's header line
    int lastInSection = -1; // last non-blank line of the section
    bool done = false;
    for (int i = 0; i < lines.size() && !done; ++i) {
        if (isSection(lines[i])) {
            if (sectionStart >= 0)
                break; // the next section begins: the key is not there
            if (sameName(sectionOf(lines[i]), section)) {
                sectionStart = i;
                lastInSection = i;
            }
            continue;
        }
        if (sectionStart < 0)
            continue;
        if (sameName(keyOf(lines[i]), key)) {
            lines[i] = newLine;
            done = true;
        } else if (!lines[i].trimmed().isEmpty()) {
            lastInSection = i;
        }
    }
    if (!done) {
        if (sectionStart >= 0) {
            lines.insert(lastInSection + 1, newLine);
        } else {
            lines.append('[' + section.toLocal8Bit() + ']');
            lines.append(newLine);
        }
    }

    QSaveFile out(m_path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    for (const QByteArray& l : lines) {
        out.write(l);
        out.write(eol);
    }
    return out.commit();
}

} // namespace orvalt
