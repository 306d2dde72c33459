// Short (8.3) names: the volume's own where it keeps them, generated aliases elsewhere.

#include "panes/HostFs.h"
#include "panes/HostFsInternal.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <numeric>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace orvalt {

namespace {

bool shortNameChar(QChar c)
{
    const char16_t u = c.unicode();
    if ((u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9'))
        return true;
    return QStringView(u"$%'-_@~`!(){}^#&").contains(c);
}

QString asciiUpper(const QString& name)
{
    QString upper = name;
    for (QChar& c : upper) {
        if (c.unicode() >= u'a' && c.unicode() <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return upper;
}

// A character of a long name as it goes into an alias: upper case, or "_" for one an 8.3 name
// cannot hold.
QChar aliasChar(QChar c)
{
    const QChar upper = asciiUpper(QString(c)).at(0);
    return shortNameChar(upper) ? upper : QLatin1Char('_');
}

struct AliasParts
{
    QString basis;
    QString extension;
};

// Blanks go, leading dots go, the last "." starts the extension and the other dots go too.
AliasParts aliasPartsOf(const QString& name)
{
    QString stripped = name;
    stripped.remove(QLatin1Char(' '));
    while (stripped.startsWith(QLatin1Char('.')))
        stripped.remove(0, 1);
    const qsizetype lastDot = stripped.lastIndexOf(QLatin1Char('.'));
    const QString primary = lastDot < 0 ? stripped : stripped.left(lastDot);
    const QString extension = lastDot < 0 ? QString() : stripped.mid(lastDot + 1);

    AliasParts parts;
    for (QChar c : primary) {
        if (c != QLatin1Char('.'))
            parts.basis += aliasChar(c);
    }
    for (QChar c : extension.left(3))
        parts.extension += aliasChar(c);
    if (parts.basis.isEmpty())
        parts.basis = QStringLiteral("_");
    return parts;
}

// The volume's own 8.3 name of an entry; empty where the volume keeps none.
QString realShortName(const QString& nativePath)
{
#ifdef Q_OS_WIN
    const std::wstring longPath = QDir::toNativeSeparators(nativePath).toStdWString();
    const DWORD needed = GetShortPathNameW(longPath.c_str(), nullptr, 0);
    if (needed == 0)
        return QString();
    std::wstring shortPath(needed, L'\0');
    const DWORD written = GetShortPathNameW(longPath.c_str(), shortPath.data(), needed);
    if (written == 0 || written >= needed)
        return QString();
    shortPath.resize(written);
    return QFileInfo(QString::fromStdWString(shortPath)).fileName().toUpper();
#else
    Q_UNUSED(nativePath);
    return QString();
#endif
}

} // namespace

namespace hostfs {

QStringList shortNamesIn(const QString& nativeFolder, const QStringList& names)
{
    QStringList shortNames = HostFs::shortNames(names);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString real = realShortName(joined(nativeFolder, names.at(i)));
        if (!real.isEmpty())
            shortNames[i] = real;
    }
    return shortNames;
}

QString shortNameOf(const QFileInfo& info)
{
    const QString folder = info.absolutePath();
    const QStringList names = QDir(folder).entryList(kEverything, QDir::NoSort);
    const qsizetype index = names.indexOf(info.fileName());
    if (index < 0)
        return HostFs::shortNames({info.fileName()}).constFirst();
    return shortNamesIn(folder, names).at(index);
}

} // namespace hostfs

QStringList HostFs::shortNames(const QStringList& names)
{
    QStringList shortNames(names.size());
    QSet<QString> used;
    for (const QString& name : names)
        used.insert(asciiUpper(name));

    // A name already in upper case keeps its 8.3 form before one that differs only in case, and
    // aliases are numbered in name order, so the result does not depend on the enumeration order.
    QList<qsizetype> order(names.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const bool aUpper = names.at(a) == asciiUpper(names.at(a));
        const bool bUpper = names.at(b) == asciiUpper(names.at(b));
        if (aUpper != bUpper)
            return aUpper;
        return names.at(a) < names.at(b);
    });

    QSet<QString> taken;
    for (qsizetype i : order) {
        const QString upper = asciiUpper(names.at(i));
        if (isShortName(upper) && !taken.contains(upper)) {
            shortNames[i] = upper;
            taken.insert(upper);
        }
    }
    // Numbers below a basis' cursor are known to be in use; the search goes on from there.
    QHash<QString, int> nextNumber;
    for (qsizetype i : order) {
        if (!shortNames.at(i).isEmpty())
            continue;
        const AliasParts parts = aliasPartsOf(names.at(i));
        const QString suffix = parts.extension.isEmpty() ? QString() : QLatin1Char('.') + parts.extension;
        int& number = nextNumber[parts.basis + suffix];
        for (number = std::max(number, 1);; ++number) {
            const QString tail = QLatin1Char('~') + QString::number(number);
            const QString candidate = parts.basis.left(8 - tail.size()) + tail + suffix;
            if (!used.contains(candidate) && !taken.contains(candidate)) {
                shortNames[i] = candidate;
                taken.insert(candidate);
                break;
            }
        }
    }
    return shortNames;
}

bool HostFs::isShortName(const QString& name)
{
    const QString upper = asciiUpper(name);
    const qsizetype dot = upper.indexOf(QLatin1Char('.'));
    const QString base = dot < 0 ? upper : upper.left(dot);
    const QString extension = dot < 0 ? QString() : upper.mid(dot + 1);
    if (base.isEmpty() || base.size() > 8 || (dot >= 0 && (extension.isEmpty() || extension.size() > 3)))
        return false;
    return std::all_of(base.begin(), base.end(), shortNameChar) &&
           std::all_of(extension.begin(), extension.end(), shortNameChar);
}

} // namespace orvalt
