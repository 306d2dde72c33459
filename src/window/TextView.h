#pragma once

#include <QPlainTextEdit>
#include <QWidget>

class QLabel;
class QLineEdit;

namespace orvalt {

// A file's text, read-only in a fixed-width font, each line with its number in a margin, and a
// find bar under it (Ctrl+F opens it; Enter finds the next, Shift+Enter the one before, from the
// top again past the end; Esc closes it).
class TextView : public QWidget
{
    Q_OBJECT

public:
    explicit TextView(QWidget* parent = nullptr);

    void setText(const QString& text);
    QPlainTextEdit* editor() const { return m_edit; }
    QLineEdit* findBox() const { return m_findBox; }
    QLabel* findStatus() const { return m_findStatus; }

    // Shows the find bar with its box ready for typing.
    void showFind();
    // Selects the next place of the find box's text (or the one before); false when there is none.
    bool findNext(bool backwards = false);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Numbered;

    QPlainTextEdit* m_edit; // a Numbered
    QWidget* m_findBar;
    QLineEdit* m_findBox;
    QLabel* m_findStatus;
};

} // namespace orvalt
