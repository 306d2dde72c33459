#include "window/TextView.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTextBlock>
#include <QToolButton>
#include <QVBoxLayout>

namespace orvalt {

// The text with a margin on the left that shows each line's number beside it.
class TextView::Numbered : public QPlainTextEdit
{
public:
    explicit Numbered(QWidget* parent)
        : QPlainTextEdit(parent)
        , m_margin(new Margin(this))
    {
        connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { fitMargin(); });
        connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
            if (dy != 0)
                m_margin->scroll(0, dy);
            else
                m_margin->update(0, rect.y(), m_margin->width(), rect.height());
        });
        fitMargin();
    }

    int marginWidth() const
    {
        const int digits = QString::number(qMax(1, blockCount())).size();
        return 12 + fontMetrics().horizontalAdvance(QLatin1Char('9')) * digits;
    }

    void paintMargin(QPaintEvent* event)
    {
        QPainter painter(m_margin);
        painter.fillRect(event->rect(), palette().color(QPalette::Window));
        painter.setPen(palette().color(QPalette::PlaceholderText));
        QTextBlock block = firstVisibleBlock();
        int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
        while (block.isValid() && top <= event->rect().bottom()) {
            const int height = qRound(blockBoundingRect(block).height());
            if (block.isVisible() && top + height >= event->rect().top())
                painter.drawText(0, top, m_margin->width() - 6, fontMetrics().height(), Qt::AlignRight,
                                 QString::number(block.blockNumber() + 1));
            block = block.next();
            top += height;
        }
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QPlainTextEdit::resizeEvent(event);
        const QRect inside = contentsRect();
        m_margin->setGeometry(inside.left(), inside.top(), marginWidth(), inside.height());
    }

private:
    class Margin : public QWidget
    {
    public:
        explicit Margin(Numbered* edit)
            : QWidget(edit)
            , m_edit(edit)
        {}

    protected:
        void paintEvent(QPaintEvent* event) override { m_edit->paintMargin(event); }

    private:
        Numbered* m_edit;
    };

    void fitMargin()
    {
        setViewportMargins(marginWidth(), 0, 0, 0);
        const QRect inside = contentsRect();
        m_margin->setGeometry(inside.left(), inside.top(), marginWidth(), inside.height());
    }

    Margin* m_margin;
};

TextView::TextView(QWidget* parent)
    : QWidget(parent)
    , m_edit(new Numbered(this))
    , m_findBar(new QWidget(this))
    , m_findBox(new QLineEdit(m_findBar))
    , m_findStatus(new QLabel(m_findBar))
{
    setObjectName(QStringLiteral("textView"));
    m_edit->setObjectName(QStringLiteral("text"));
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

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
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_findBar);

    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(close, &QToolButton::clicked, m_findBar, &QWidget::hide);
    connect(m_findBox, &QLineEdit::textEdited, m_findStatus, &QLabel::clear);
}

void TextView::setText(const QString& text)
{
    m_edit->setPlainText(text);
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
    const QTextDocument::FindFlags flags =
        backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    m_findStatus->clear();
    if (m_edit->find(wanted, flags))
        return true;
    // Past the end (or the beginning) the search goes round once.
    const QTextCursor kept = m_edit->textCursor();
    m_edit->moveCursor(backwards ? QTextCursor::End : QTextCursor::Start);
    if (m_edit->find(wanted, flags)) {
        m_findStatus->setText(backwards ? QStringLiteral("From the end again")
                                        : QStringLiteral("From the top again"));
        return true;
    }
    m_edit->setTextCursor(kept);
    m_findStatus->setText(QStringLiteral("Not found"));
    return false;
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
            m_edit->setFocus();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvalt
