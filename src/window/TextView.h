#pragma once

#include "viewer/TextLines.h"

#include <QAbstractScrollArea>
#include <QWidget>

class QLabel;
class QLineEdit;

namespace orvalt {

// A file's text, read-only in a fixed-width font, each line with its number in a margin, and a
// find bar under it (Ctrl+F opens it; Enter finds the next, Shift+Enter the one before, from the
// top again past the end; Esc closes it). Only the lines in sight are drawn, so the 20 MB the
// viewer reads at most open at once and cost little more than the text. A drag of the mouse
// selects, Ctrl+C copies, Ctrl+A selects all.
class TextView : public QWidget
{
    Q_OBJECT

public:
    explicit TextView(QWidget* parent = nullptr);

    void setText(QString text);
    const TextLines& lines() const;
    QWidget* textArea() const;
    QLineEdit* findBox() const { return m_findBox; }
    QLabel* findStatus() const { return m_findStatus; }

    // The selection: the line it starts on, and its text.
    int selectedLine() const;
    QString selectedText() const;

    // Shows the find bar with its box ready for typing.
    void showFind();
    // Selects the next place of the find box's text (or the one before); false when there is none.
    bool findNext(bool backwards = false);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Area;

    Area* m_area;
    QWidget* m_findBar;
    QLineEdit* m_findBox;
    QLabel* m_findStatus;
};

} // namespace orvalt
