#include "fileops/Format.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

namespace orvalt {

namespace {

// Swallows user input for the whole application. Unlike ExcludeUserInputEvents, which only holds
// input back, nothing pressed during the pause is replayed once it ends.
class InputDropper : public QObject
{
public:
    explicit InputDropper(const std::function<void(QObject*, QEvent*)>& dropped)
        : m_dropped(dropped)
    {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::NonClientAreaMouseButtonPress:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::Drop:
            if (m_dropped)
                m_dropped(watched, event);
            return true;
        case QEvent::Close:
            // A close event left accepted would still hide the window.
            event->ignore();
            return true;
        default:
            return false;
        }
    }

private:
    const std::function<void(QObject*, QEvent*)>& m_dropped;
};

} // namespace

void pauseWithoutInput(int ms, const std::function<void(QObject*, QEvent*)>& dropped)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || ms <= 0)
        return;
    InputDropper dropper(dropped);
    app->installEventFilter(&dropper);
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    app->removeEventFilter(&dropper);
}

} // namespace orvalt
