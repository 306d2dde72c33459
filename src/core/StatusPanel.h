#pragma once

#include <QObject>
#include <QString>

namespace orvalt {

// The text of the status bar's first panel ("Replacement" / "Replacement skip"), which the copy
// sets and the window shows.
class StatusPanel : public QObject
{
    Q_OBJECT

public:
    const QString& text() const { return m_text; }
    void setText(const QString& text)
    {
        m_text = text;
        emit textChanged(m_text);
    }

signals:
    void textChanged(const QString& text);

private:
    QString m_text;
};

} // namespace orvalt
