#include "window/QtDialogs.h"

#include "core/Settings.h"

#include <QApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

namespace orvalt {

namespace {

QMessageBox::StandardButton toQt(DialogSeam::Button b)
{
    switch (b) {
    case DialogSeam::Button::Ok:
        return QMessageBox::Ok;
    case DialogSeam::Button::Cancel:
        return QMessageBox::Cancel;
    case DialogSeam::Button::Yes:
        return QMessageBox::Yes;
    case DialogSeam::Button::No:
        return QMessageBox::No;
    case DialogSeam::Button::NoButton:
        break;
    }
    return QMessageBox::NoButton;
}

QMessageBox::Icon toQt(DialogSeam::Icon icon)
{
    switch (icon) {
    case DialogSeam::Icon::Information:
        return QMessageBox::Information;
    case DialogSeam::Icon::Question:
        return QMessageBox::Question;
    case DialogSeam::Icon::Warning:
        return QMessageBox::Warning;
    case DialogSeam::Icon::Critical:
        return QMessageBox::Critical;
    case DialogSeam::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

DialogSeam::Button QtDialogs::message(const QString& text, Buttons buttons, Icon icon, Button defaultButton,
                                      const QString& caption)
{
    QMessageBox box(toQt(icon), caption.isEmpty() ? programTitle() : caption, text, QMessageBox::NoButton,
                    m_owner);
    for (Button b : {Button::Yes, Button::No, Button::Ok, Button::Cancel})
        if (buttons.testFlag(b))
            box.addButton(toQt(b));
    if (defaultButton != Button::NoButton)
        box.setDefaultButton(toQt(defaultButton));
    // A pointer left busy by long work would otherwise sit over the question.
    const bool busy = QGuiApplication::overrideCursor() != nullptr;
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    const int answer = box.exec();
    if (busy)
        QGuiApplication::restoreOverrideCursor();
    switch (answer) {
    case QMessageBox::Yes:
        return Button::Yes;
    case QMessageBox::No:
        return Button::No;
    case QMessageBox::Cancel:
        return Button::Cancel;
    case QMessageBox::Ok:
        return Button::Ok;
    default:
        return buttons.testFlag(Button::Cancel) ? Button::Cancel
               : buttons.testFlag(Button::No)   ? Button::No
                                                : Button::Ok;
    }
}

void QtDialogs::setBusyPointer(bool busy)
{
    // One level only: the dispatcher's reset must always bring the default pointer back.
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtDialogs::yield()
{
    QApplication::processEvents(QEventLoop::AllEvents);
}

QString QtDialogs::saveFileName(const QString& caption, const QString& suggested, const QString& filter)
{
    return QFileDialog::getSaveFileName(QApplication::activeWindow() ? QApplication::activeWindow() : m_owner,
                                        caption, suggested, filter);
}

} // namespace orvalt
