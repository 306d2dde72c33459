#pragma once

#include <QAbstractScrollArea>
#include <QByteArray>

namespace orvalt {

// A file's bytes in hex, sixteen a line with their offset and their characters. Only the lines in
// view are made, so 20 MB scroll as lightly as 20 bytes.
class HexView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit HexView(QByteArray bytes, QWidget* parent = nullptr);

    // The line at the top of the view, from 0.
    qint64 firstLine() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitScrollBar();

    QByteArray m_bytes;
};

} // namespace orvalt
