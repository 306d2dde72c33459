// The settings file beside the program: anyone may have edited it. Input: which key to write, the
// length of the value, the value (UTF-8), then the whole file.

#include "FuzzCheck.h"
#include "core/ProfileFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

using namespace orvalt;

namespace {

struct Key
{
    const char* section;
    const char* key;
};
// The program's own keys.
constexpr Key kKeys[] = {{"Product", "Model"},   {"Product", "Medium1"}, {"Product", "Medium2"},
                         {"Settings", "LDevID"}, {"Settings", "RDevID"}, {"Settings", "Lpath"}};
constexpr size_t kKeyCount = sizeof(kKeys) / sizeof(kKeys[0]);

QByteArray fileBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString readKey(const ProfileFile& file, size_t i)
{
    // A default no file holds: "missing" must stay distinguishable from any stored value.
    return file.read(QLatin1String(kKeys[i].section), QLatin1String(kKeys[i].key),
                     QStringLiteral("\x01missing"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    if (size < 2)
        return 0;
    const size_t which = data[0] % kKeyCount;
    const bool otherCase = data[0] & 0x80; // section and key names match without regard to case
    const size_t valueLength = qMin<size_t>(data[1], size - 2);
    const QString value =
        QString::fromUtf8(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(valueLength));
    const QByteArray content(reinterpret_cast<const char*>(data + 2 + valueLength),
                             static_cast<qsizetype>(size - 2 - valueLength));

    const QString path = dir.filePath(QStringLiteral("fuzz.ini"));
    {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        FUZZ_CHECK(f.write(content) == content.size());
    }
    const ProfileFile file(path);
    QString before[kKeyCount];
    for (size_t i = 0; i < kKeyCount; ++i) {
        before[i] = readKey(file, i);
        FUZZ_CHECK(before[i].size() <= ProfileFile::kMaxValueLength);
    }

    QString section = QLatin1String(kKeys[which].section);
    QString key = QLatin1String(kKeys[which].key);
    if (otherCase) {
        section = section.toUpper();
        key = key.toLower();
    }
    if (!file.write(section, key, value)) {
        FUZZ_CHECK(fileBytes(path) == content);
        return 0;
    }
    // What was written reads back (trimmed and cut as every value is), and no other key changed.
    const QString expected =
        QString::fromLocal8Bit(value.toLocal8Bit().trimmed()).left(ProfileFile::kMaxValueLength);
    for (size_t i = 0; i < kKeyCount; ++i) {
        const QString after = readKey(file, i);
        if (i == which)
            FUZZ_CHECK(after == expected);
        else
            FUZZ_CHECK(after == before[i]);
    }
    return 0;
}
