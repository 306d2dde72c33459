#include "window/QtDialogs.h"
#include "window/frmProgress.h"

namespace orvalt {

void QtDialogs::progressOpen(int minimum, int maximum)
{
    if (!m_progress) {
        m_progress = new frmProgress(owner());
        QObject::connect(m_progress, &frmProgress::cancelPressed, m_progress, [this] {
            if (m_progressCancel)
                m_progressCancel();
        });
    }
    m_progress->start(minimum, maximum);
    m_progress->show();
    m_progress->raise();
}

void QtDialogs::progressStep(int value)
{
    if (m_progress)
        m_progress->step(value);
}

void QtDialogs::progressJob(const QList<JobTotals>& items)
{
    if (m_progress)
        m_progress->job(items);
}

void QtDialogs::progressNotice(const QString& text)
{
    if (m_progress)
        m_progress->notice(text);
}

void QtDialogs::transferProgress(const QString& file, qint64 done, qint64 total)
{
    // Figures of a transfer outside a copy (none has its own window) are not shown.
    if (m_progress)
        m_progress->transfer(file, done, total);
}

void QtDialogs::progressClose()
{
    if (!m_progress)
        return;
    m_progress->finish();
    // Not from one of the window's own events, so it can go at once; the next copy makes a new one.
    delete m_progress.data();
}

} // namespace orvalt
