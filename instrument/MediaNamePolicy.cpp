#include "MediaNamePolicy.h"

namespace orvalt::instrument {

bool MediaNamePolicy::acceptsCharacter(QChar c, bool shortNames)
{
    const char16_t u = c.unicode();
    if (u >= u'A' && u <= u'Z')
        return true;
    if (u >= u'a' && u <= u'z')
        return !shortNames;
    if (u >= u'0' && u <= u'9')
        return true;
    switch (u) {
    case u'.':
    case u'!':
    case u'#':
    case u'$':
    case u'&':
    case u'%':
    case u'\'':
    case u'(':
    case u')':
    case u'^':
    case u'@':
    case u'_':
    case u'{':
    case u'}':
    case u'~': // the mark of a short alias (LONGFO~1), which the media's file system takes
        return true;
    default:
        return false;
    }
}

bool MediaNamePolicy::accepts(const QString& name, NameKind kind) const
{
    if (name.isEmpty())
        return false;
    bool onlyDots = true;
    for (const QChar c : name) {
        if (!acceptsCharacter(c, m_shortNames))
            return false;
        onlyDots = onlyDots && c == QLatin1Char('.');
    }
    if (onlyDots || name.endsWith(QLatin1Char('.')))
        return false;
    const int baseLimit = m_shortNames ? kShortBase : kLongBase;
    if (kind == NameKind::Folder)
        return name.size() <= baseLimit;
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return name.size() <= baseLimit;
    const qsizetype extension = name.size() - dot - 1;
    return dot >= 1 && dot <= baseLimit && extension >= 1 && extension <= kExtension;
}

} // namespace orvalt::instrument
