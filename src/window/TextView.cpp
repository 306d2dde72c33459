#include "window/TextView.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace orvalt {

// The lines in sight, their numbers in a margin on the left, and the selection.
class TextView::Area : public QAbstractScrollArea
{
public:
    explicit Area(QWidget* parent)
        : QAbstractScrollArea(parent)
    {
        setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        viewport()->setBackgroundRole(QPalette::Base);
        viewport()->setCursor(Qt::IBeamCursor);
        setFocusPolicy(Qt::StrongFocus);
    }

    void setText(QString text)
    {
        m_lines.setText(std::move(text));
        m_anchor = m_cursor = 0;
        m_widestSeen = fontMetrics().averageCharWidth() * m_lines.widestLine();
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
        fitScrollBars();
        viewport()->update();
    }

    const TextLines& lines() const { return m_lines; }
    qsizetype selectionStart() const { return std::min(m_anchor, m_cursor); }
    qsizetype selectionEnd() const { return std::max(m_anchor, m_cursor); }

    void select(qsizetype from, qsizetype to)
    {
        m_anchor = from;
        m_cursor = to;
        showPosition(to);
        showPosition(from);
        viewport()->update();
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QAbstractScrollArea::resizeEvent(event);
        fitScrollBars();
    }

    void paintEvent(QPaintEvent* /*event*/) override
    {
        QPainter painter(viewport());
        const QFontMetrics fm = fontMetrics();
        const int margin = marginWidth();
        const int left = margin + kGap - horizontalScrollBar()->value();
        const int first = verticalScrollBar()->value();
        const QColor numbers = palette().color(QPalette::PlaceholderText);
        const QColor text = palette().color(QPalette::Text);
        int widest = m_widestSeen;
        painter.fillRect(0, 0, margin, viewport()->height(), palette().color(QPalette::Window));
        for (int row = 0; row * fm.height() < viewport()->height(); ++row) {
            const int i = first + row;
            if (i >= m_lines.lineCount())
                break;
            const int top = row * fm.height();
            const QStringView line = m_lines.line(i);
            const QString shown = TextLines::shown(line);
            painter.setClipRect(margin, 0, viewport()->width() - margin, viewport()->height());
            paintSelection(painter, i, line, left, top);
            painter.setPen(text);
            painter.drawText(left, top + fm.ascent(), shown);
            widest = std::max(widest, fm.horizontalAdvance(shown));
            painter.setClipping(false);
            painter.setPen(numbers);
            painter.drawText(QRect(0, top, margin - kGap / 2, fm.height()), Qt::AlignRight,
                             QString::number(i + 1));
        }
        // Lines wider than the estimate (wide characters) widen the scrolling as they come in sight.
        if (widest > m_widestSeen) {
            m_widestSeen = widest;
            fitScrollBars();
        }
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        m_cursor = positionAt(event->position().toPoint());
        if (!(event->modifiers() & Qt::ShiftModifier))
            m_anchor = m_cursor;
        viewport()->update();
    }

    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (!(event->buttons() & Qt::LeftButton))
            return;
        m_cursor = positionAt(event->position().toPoint());
        showPosition(m_cursor);
        viewport()->update();
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Copy)) {
            QApplication::clipboard()->setText(
                m_lines.text().mid(selectionStart(), selectionEnd() - selectionStart()));
            return;
        }
        if (event->matches(QKeySequence::SelectAll)) {
            m_anchor = 0;
            m_cursor = m_lines.text().size();
            viewport()->update();
            return;
        }
        QScrollBar* bar = verticalScrollBar();
        switch (event->key()) {
        case Qt::Key_Home:
            bar->setValue(event->modifiers() & Qt::ControlModifier ? bar->minimum() : bar->value());
            horizontalScrollBar()->setValue(0);
            return;
        case Qt::Key_End:
            if (event->modifiers() & Qt::ControlModifier)
                bar->setValue(bar->maximum());
            return;
        default:
            QAbstractScrollArea::keyPressEvent(event); // arrows and pages scroll
        }
    }

private:
    static constexpr int kGap = 8;

    int marginWidth() const
    {
        return kGap * 2 + fontMetrics().horizontalAdvance(QString::number(std::max(1, m_lines.lineCount())));
    }

    int visibleLines() const { return std::max(1, viewport()->height() / fontMetrics().height()); }

    void fitScrollBars()
    {
        verticalScrollBar()->setRange(0, std::max(0, m_lines.lineCount() - visibleLines()));
        verticalScrollBar()->setPageStep(visibleLines());
        const int room = viewport()->width() - marginWidth() - 2 * kGap;
        horizontalScrollBar()->setRange(0, std::max(0, m_widestSeen - room));
        horizontalScrollBar()->setPageStep(std::max(1, room));
        horizontalScrollBar()->setSingleStep(fontMetrics().averageCharWidth() * 4);
    }

    int xOf(QStringView line, qsizetype i) const
    {
        return fontMetrics().horizontalAdvance(TextLines::shown(line.left(i)));
    }

    void paintSelection(QPainter& painter, int i, QStringView line, int left, int top)
    {
        const qsizetype begin = m_lines.lineStart(i);
        const qsizetype from = std::max(selectionStart(), begin) - begin;
        const qsizetype to = std::min(selectionEnd(), begin + line.size()) - begin;
        if (selectionStart() == selectionEnd() || to < from || from > line.size())
            return;
        const int x0 = left + xOf(line, from);
        const int x1 = left + xOf(line, to);
        painter.fillRect(x0, top, std::max(x1 - x0, 2), fontMetrics().height(),
                         palette().color(QPalette::Highlight));
    }

    // The place in the text under a point of the viewport.
    qsizetype positionAt(const QPoint& at) const
    {
        const int i = std::clamp(verticalScrollBar()->value() + at.y() / fontMetrics().height(), 0,
                                 std::max(0, m_lines.lineCount() - 1));
        const QStringView line = m_lines.line(i);
        const int x = at.x() - marginWidth() - kGap + horizontalScrollBar()->value();
        qsizetype low = 0;
        qsizetype high = line.size();
        while (low < high) {
            const qsizetype mid = (low + high + 1) / 2;
            if (xOf(line, mid) - fontMetrics().averageCharWidth() / 2 <= x)
                low = mid;
            else
                high = mid - 1;
        }
        return m_lines.lineStart(i) + low;
    }

    // Scrolls so that a place of the text is in sight.
    void showPosition(qsizetype position)
    {
        const int i = m_lines.lineOf(position);
        QScrollBar* bar = verticalScrollBar();
        if (i < bar->value() || i >= bar->value() + visibleLines())
            bar->setValue(std::max(0, i - visibleLines() / 3));
        const int x = xOf(m_lines.line(i), position - m_lines.lineStart(i));
        const int room = viewport()->width() - marginWidth() - 2 * kGap;
        QScrollBar* across = horizontalScrollBar();
        if (x < across->value() || x > across->value() + room)
            across->setValue(std::max(0, x - room / 2));
    }

    TextLines m_lines;
    qsizetype m_anchor = 0;
    qsizetype m_cursor = 0;
    int m_widestSeen = 0;
};

TextView::TextView(QWidget* parent)
    : QWidget(parent)
    , m_area(new Area(this))
    , m_findBar(new QWidget(this))
    , m_findBox(new QLineEdit(m_findBar))
    , m_findStatus(new QLabel(m_findBar))
{
    setObjectName(QStringLiteral("textView"));
    m_area->setObjectName(QStringLiteral("text"));
    m_findBox->setObjectName(QStringLiteral("findBox"));
    m_findBox->setPlaceholderText(QStringLiteral("Find"));
    m_findBox->setClearButtonEnabled(true);
    m_findBox->installEventFilter(this);
    m_findStatus->setObjectName(QStringLiteral("findStatus"));
    auto* previous = new QToolButton(m_findBar);
    previous->setArrowType(Qt::UpArrow);
    previous->setToolTip(QStringLiteral("The one before (Shift+Enter)"));
    auto* next = new QToolButton(m_findBar);
    next->setArrowType(Qt::DownArrow);
    next->setToolTip(QStringLiteral("The next (Enter)"));
    auto* close = new QToolButton(m_findBar);
    close->setText(QStringLiteral("\u2715"));
    close->setToolTip(QStringLiteral("Close (Esc)"));
    auto* bar = new QHBoxLayout(m_findBar);
    bar->setContentsMargins(0, 2, 0, 0);
    bar->addWidget(m_findBox, 1);
    bar->addWidget(previous);
    bar->addWidget(next);
    bar->addWidget(m_findStatus, 1);
    bar->addWidget(close);
    m_findBar->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_area, 1);
    layout->addWidget(m_findBar);
    setFocusProxy(m_area);

    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(close, &QToolButton::clicked, m_findBar, &QWidget::hide);
    connect(m_findBox, &QLineEdit::textEdited, m_findStatus, &QLabel::clear);
}

void TextView::setText(QString text)
{
    m_area->setText(std::move(text));
}

const TextLines& TextView::lines() const
{
    return m_area->lines();
}

QWidget* TextView::textArea() const
{
    return m_area;
}

int TextView::selectedLine() const
{
    return m_area->lines().lineOf(m_area->selectionStart());
}

QString TextView::selectedText() const
{
    return m_area->lines().text().mid(m_area->selectionStart(),
                                      m_area->selectionEnd() - m_area->selectionStart());
}

void TextView::showFind()
{
    m_findBar->show();
    m_findBox->setFocus(Qt::ShortcutFocusReason);
    m_findBox->selectAll();
}

bool TextView::findNext(bool backwards)
{
    const QString wanted = m_findBox->text();
    if (wanted.isEmpty())
        return false;
    bool wrapped = false;
    const qsizetype found = m_area->lines().find(
        wanted, backwards ? m_area->selectionStart() : m_area->selectionEnd(), backwards, &wrapped);
    if (found < 0) {
        m_findStatus->setText(QStringLiteral("Not found"));
        return false;
    }
    m_area->select(found, found + wanted.size());
    m_findStatus->setText(!wrapped    ? QString()
                          : backwards ? QStringLiteral("From the end again")
                                      : QStringLiteral("From the top again"));
    return true;
}

bool TextView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_findBox && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findNext(key->modifiers() & Qt::ShiftModifier);
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            m_findBar->hide();
            m_area->setFocus();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvalt
