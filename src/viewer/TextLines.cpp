#include "viewer/TextLines.h"

#include <algorithm>

namespace orvalt {

namespace {

constexpr int kTabStop = 8;

} // namespace

void TextLines::setText(QString text)
{
    m_text = std::move(text);
    m_starts.assign(1, 0);
    m_widest = 0;
    const QChar* data = m_text.constData();
    const qsizetype size = m_text.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] == QLatin1Char('\n'))
            m_starts.push_back(i + 1);
    }
    // A final line end starts no line of its own.
    if (m_starts.size() > 1 && m_starts.back() == size)
        m_starts.pop_back();
    for (int i = 0; i < lineCount(); ++i)
        m_widest = std::max(m_widest, columnOf(line(i), line(i).size()));
}

QStringView TextLines::line(int i) const
{
    const qsizetype begin = lineStart(i);
    qsizetype end = i + 1 < lineCount() ? lineStart(i + 1) - 1 : m_text.size();
    if (i + 1 == lineCount() && end > begin && m_text.at(end - 1) == QLatin1Char('\n'))
        --end; // the text's final line end
    if (end > begin && m_text.at(end - 1) == QLatin1Char('\r'))
        --end;
    return QStringView(m_text).mid(begin, end - begin);
}

int TextLines::lineOf(qsizetype position) const
{
    const auto after = std::upper_bound(m_starts.cbegin(), m_starts.cend(), position);
    return std::max(0, static_cast<int>(after - m_starts.cbegin()) - 1);
}

qsizetype TextLines::find(const QString& needle, qsizetype from, bool backwards, bool* wrapped) const
{
    if (wrapped)
        *wrapped = false;
    if (needle.isEmpty() || m_text.isEmpty())
        return -1;
    from = std::clamp<qsizetype>(from, 0, m_text.size());
    qsizetype found = -1;
    if (backwards) {
        found = from > 0 ? m_text.lastIndexOf(needle, from - 1, Qt::CaseInsensitive) : -1;
        if (found < 0) {
            found = m_text.lastIndexOf(needle, -1, Qt::CaseInsensitive);
            if (wrapped)
                *wrapped = found >= 0;
        }
    } else {
        found = m_text.indexOf(needle, from, Qt::CaseInsensitive);
        if (found < 0) {
            found = m_text.indexOf(needle, 0, Qt::CaseInsensitive);
            if (wrapped)
                *wrapped = found >= 0;
        }
    }
    return found;
}

QString TextLines::shown(QStringView line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c == QLatin1Char('\t'))
            out += QString(kTabStop - out.size() % kTabStop, QLatin1Char(' '));
        else
            out += c.unicode() < 0x20 || c.unicode() == 0x7f ? QChar(QLatin1Char('.')) : c;
    }
    return out;
}

int TextLines::columnOf(QStringView line, qsizetype i)
{
    int column = 0;
    const qsizetype end = std::min(i, line.size());
    for (qsizetype k = 0; k < end; ++k)
        column = line.at(k) == QLatin1Char('\t') ? (column / kTabStop + 1) * kTabStop : column + 1;
    return column;
}

} // namespace orvalt
