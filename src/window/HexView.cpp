#include "window/HexView.h"

#include "viewer/HexLines.h"

#include <QFontDatabase>
#include <QPainter>
#include <QScrollBar>

namespace orvalt {

HexView::HexView(QByteArray bytes, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_bytes(std::move(bytes))
{
    setObjectName(QStringLiteral("hexView"));
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    viewport()->setBackgroundRole(QPalette::Base);
    horizontalScrollBar()->setRange(0, 0);
    fitScrollBar();
}

qint64 HexView::firstLine() const
{
    return verticalScrollBar()->value();
}

void HexView::fitScrollBar()
{
    const int lineHeight = fontMetrics().height();
    const int visible = qMax(1, viewport()->height() / lineHeight);
    const qint64 lines = hexLineCount(m_bytes.size());
    // 20 MB are 1.3 million lines, well inside a scroll bar's int.
    verticalScrollBar()->setRange(0, static_cast<int>(qMax<qint64>(0, lines - visible)));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);
    const int width = fontMetrics().horizontalAdvance(hexLine(QByteArray(kHexBytesPerLine, 'x'), 0)) + 8;
    horizontalScrollBar()->setRange(0, qMax(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void HexView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    fitScrollBar();
}

void HexView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    const int lineHeight = fontMetrics().height();
    const int left = 4 - horizontalScrollBar()->value();
    const qint64 first = firstLine();
    for (int row = 0; row * lineHeight < viewport()->height(); ++row) {
        const QString text = hexLine(m_bytes, first + row);
        if (text.isEmpty())
            break;
        painter.drawText(left, row * lineHeight + fontMetrics().ascent(), text);
    }
}

} // namespace orvalt
