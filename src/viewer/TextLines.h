#pragma once

#include <QString>
#include <QStringView>
#include <vector>

namespace orvalt {

// A file's text cut into lines, for a view that draws only the lines in sight: 20 MB of text cost
// the text itself and one offset a line, however long it is to scroll through. Lines end at "\n";
// a "\r" before it is no part of the line.
class TextLines
{
public:
    void setText(QString text);
    const QString& text() const { return m_text; }

    int lineCount() const { return static_cast<int>(m_starts.size()); }
    QStringView line(int i) const;
    qsizetype lineStart(int i) const { return m_starts.at(static_cast<size_t>(i)); }
    // The line holding a place in the text (the last line for the text's end).
    int lineOf(qsizetype position) const;
    // The most characters a line shows, tabs counted to their stops.
    int widestLine() const { return m_widest; }

    // The place of the next match of needle, without regard to case: after from, or before it when
    // backwards; past the end (or the beginning) from the other end again, with wrapped set. -1 when
    // there is none.
    qsizetype find(const QString& needle, qsizetype from, bool backwards, bool* wrapped = nullptr) const;

    // A line as shown: each tab up to the next stop of eight, other control characters as a dot.
    static QString shown(QStringView line);
    // The column at which character i of a line is shown.
    static int columnOf(QStringView line, qsizetype i);

private:
    QString m_text;
    std::vector<qsizetype> m_starts{0};
    int m_widest = 0;
};

} // namespace orvalt
