#include "cli/RemotePath.h"

namespace orvalt::cli {

namespace {

const QChar kSeparator = QLatin1Char('\\');

// A character the wire carries and no command reads as a separator: "\" and "/" part folders,
// "," parts a command's fields, and a control character could end the command early.
bool plainChar(QChar c)
{
    return c.unicode() <= 0xFF && c.category() != QChar::Other_Control && c != QLatin1Char('\\') &&
           c != QLatin1Char('/') && c != QLatin1Char(',');
}

std::optional<RemotePath> refuse(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return std::nullopt;
}

} // namespace

QString RemotePath::path() const
{
    return medium + kSeparator + names.join(kSeparator);
}

QString RemotePath::folderPath() const
{
    return isRoot() ? path() : path() + kSeparator;
}

QString RemotePath::panePath() const
{
    return kSeparator + names.join(kSeparator);
}

RemotePath RemotePath::parent() const
{
    RemotePath up = *this;
    if (!up.names.isEmpty())
        up.names.removeLast();
    return up;
}

RemotePath RemotePath::child(const QString& name) const
{
    RemotePath down = *this;
    down.names.append(name);
    return down;
}

std::optional<RemotePath> parseRemotePath(const QString& text, QString* why)
{
    if (text.size() > kMaxRemotePath)
        return refuse(why, QStringLiteral("longer than %1 characters").arg(kMaxRemotePath));
    if (text.size() < 2 || text.at(1) != QLatin1Char(':') || !plainChar(text.at(0)) ||
        text.at(0) == QLatin1Char(':') || text.at(0).isSpace())
        return refuse(why, QStringLiteral("a remote path begins with a medium code such as M:"));
    RemotePath path;
    path.medium = text.left(2);
    QString rest = text.mid(2);
    if (rest.isEmpty())
        return path;
    if (!rest.startsWith(kSeparator))
        return refuse(why, QStringLiteral("a \"\\\" must follow the medium code"));
    rest.remove(0, 1);
    if (rest.endsWith(kSeparator))
        rest.chop(1); // a folder may be written with a final "\"
    if (rest.isEmpty())
        return path;
    for (const QString& name : rest.split(kSeparator)) {
        if (name.isEmpty())
            return refuse(why, QStringLiteral("an empty name between two \"\\\""));
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            return refuse(why, QStringLiteral("\".\" and \"..\" name no item"));
        for (const QChar c : name) {
            if (!plainChar(c))
                return refuse(why,
                              c.unicode() > 0xFF
                                  ? QStringLiteral("a character outside Latin-1")
                                  : QStringLiteral("\"/\", \",\" and control characters are not allowed"));
        }
        path.names.append(name);
    }
    return path;
}

} // namespace orvalt::cli
