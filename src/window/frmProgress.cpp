#include "window/frmProgress.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace orvalt {

frmProgress::frmProgress(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmProgress"));
    setWindowTitle(QStringLiteral("Progress"));
    setModal(false);
    createControls();
    m_clock.start();
}

void frmProgress::createControls()
{
    m_lblFile = new QLabel(this);
    m_lblFile->setObjectName(QStringLiteral("lblFile"));
    m_lblFile->setTextFormat(Qt::PlainText);
    // A long name must not widen the window past the main window: it is shortened in its middle,
    // keeping its start and its end (which tell files of a series apart), and shown whole as a tip.
    m_lblFile->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    m_lblFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The figures keep the width their longest texts need, so the window neither clips them nor
    // changes its width while a copy runs.
    const QFontMetrics metrics = fontMetrics();
    const auto widest = [&metrics](const QString& text) {
        return metrics.horizontalAdvance(text) + metrics.averageCharWidth();
    };
    m_lblBytes = new QLabel(this);
    m_lblBytes->setObjectName(QStringLiteral("lblBytes"));
    m_lblBytes->setMinimumWidth(widest(QStringLiteral("2,147,483,647 of 2,147,483,647 bytes")));
    m_lblRate = new QLabel(this);
    m_lblRate->setObjectName(QStringLiteral("lblRate"));
    m_lblRate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lblTimeLeft = new QLabel(this);
    m_lblTimeLeft->setObjectName(QStringLiteral("lblTimeLeft"));
    m_lblTimeLeft->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lblRate->setMinimumWidth(widest(QStringLiteral("999,999 bytes/s")));

    m_lblJobFiles = new QLabel(this);
    m_lblJobFiles->setObjectName(QStringLiteral("lblJobFiles"));
    m_lblJobFiles->setMinimumWidth(widest(QStringLiteral("99,999 of 99,999 files")));
    m_lblJobTimeLeft = new QLabel(this);
    m_lblJobTimeLeft->setObjectName(QStringLiteral("lblJobTimeLeft"));
    m_lblJobTimeLeft->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lblJobTimeLeft->setMinimumWidth(widest(QStringLiteral("999:59:59 left in all")));
    m_lblJobBytes = new QLabel(this);
    m_lblJobBytes->setObjectName(QStringLiteral("lblJobBytes"));
    m_lblJobBytes->setMinimumWidth(widest(QStringLiteral("99,999,999,999 of 99,999,999,999 bytes in all")));
    // Thousandths of the bytes: a job's bytes do not fit the bar's own range.
    m_barJobBytes = new QProgressBar(this);
    m_barJobBytes->setObjectName(QStringLiteral("barJobBytes"));
    m_barJobBytes->setRange(0, 1000);
    m_barJobBytes->setTextVisible(false);
    m_barJobBytes->setToolTip(QStringLiteral("Bytes done of the whole job"));
    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);

    m_ProgressBar1 = new QProgressBar(this);
    m_ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_ProgressBar1->setTextVisible(false);
    m_ProgressBar1->setToolTip(QStringLiteral("Rows of the list done"));
    // The bar counts the rows of the list, which are not the job's files (a folder's row holds
    // many): its own figure keeps 50 % beside "1 of 3 files" from looking like an error.
    m_lblRows = new QLabel(this);
    m_lblRows->setObjectName(QStringLiteral("lblRows"));
    m_lblRows->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lblRows->setMinimumWidth(widest(QStringLiteral("99,999 of 99,999 rows")));
    m_lblRows->setToolTip(m_ProgressBar1->toolTip());
    m_Label1 = new QLabel(this);
    m_Label1->setObjectName(QStringLiteral("Label1"));
    m_Label1->setTextFormat(Qt::PlainText);
    m_Label1->setWordWrap(true);

    auto* figures = new QGridLayout;
    figures->addWidget(m_lblFile, 0, 0, 1, 2);
    figures->addWidget(m_lblBytes, 1, 0);
    figures->addWidget(m_lblRate, 1, 1);
    figures->addWidget(m_lblTimeLeft, 2, 1);
    figures->addWidget(rule, 3, 0, 1, 2);
    figures->addWidget(m_lblJobFiles, 4, 0);
    figures->addWidget(m_lblJobTimeLeft, 4, 1);
    figures->addWidget(m_lblJobBytes, 5, 0, 1, 2);
    figures->addWidget(m_barJobBytes, 6, 0, 1, 2);
    figures->setColumnStretch(0, 1);

    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setToolTip(QStringLiteral("Interruption (Esc): the file in hand is finished, then the copy "
                                           "stops. Press again to stop the file in hand at once."));
    m_cmdCancel->setAutoDefault(false);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmProgress::cancelPressed);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(figures);
    auto* rows = new QHBoxLayout;
    rows->addWidget(m_ProgressBar1, 1);
    rows->addWidget(m_lblRows);
    layout->addLayout(rows);
    layout->addWidget(m_Label1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void frmProgress::start(int minimum, int maximum)
{
    m_ProgressBar1->setRange(minimum, qMax(minimum, maximum));
    m_ProgressBar1->setValue(minimum);
    m_ProgressBar1->show();
    showRows(0);
    m_Label1->clear();
    m_meter.reset();
    m_rate = -1;
    showFile(FileProgress{});
    m_lblBytes->clear();
    m_job.start({});
    showJob(-1);
}

void frmProgress::step(int value)
{
    m_ProgressBar1->setValue(qBound(m_ProgressBar1->minimum(), value, m_ProgressBar1->maximum()));
    m_job.itemsDone(value - m_ProgressBar1->minimum() + 1);
    showRows(m_ProgressBar1->value() - m_ProgressBar1->minimum() + 1);
    showJob(m_rate);
}

void frmProgress::showRows(int done)
{
    const QLocale english(QLocale::English);
    m_lblRows->setText(QStringLiteral("%1 of %2 rows")
                           .arg(english.toString(done),
                                english.toString(m_ProgressBar1->maximum() - m_ProgressBar1->minimum() + 1)));
}

void frmProgress::job(const QList<JobTotals>& items)
{
    m_job.start(items);
    showJob(m_rate);
}

void frmProgress::showJob(qint64 bytesPerSecond)
{
    // Nothing to show before the count: a copy whose items were not counted shows the rows alone.
    const bool counted = m_job.counted();
    const JobFigures figures = m_job.figures(bytesPerSecond);
    m_lblJobFiles->setText(counted ? jobFilesText(figures) : QString());
    m_lblJobBytes->setText(counted ? jobBytesText(figures) : QString());
    m_lblJobTimeLeft->setText(counted && !figures.finished ? jobTimeLeftText(figures) : QString());
    m_barJobBytes->setValue(counted ? jobPerMille(figures) : 0);
}

void frmProgress::notice(const QString& text)
{
    m_Label1->setText(text);
}

void frmProgress::transfer(const QString& file, qint64 done, qint64 total)
{
    const FileProgress progress = m_meter.update(file, done, total, m_clock.elapsed());
    m_rate = progress.bytesPerSecond;
    m_job.transfer(file, done, total);
    showFile(progress);
    showJob(m_rate);
}

void frmProgress::showFile(const FileProgress& progress)
{
    m_fileName = progress.file;
    showFileName();
    m_lblBytes->setText(progressBytesText(progress));
    m_lblRate->setText(progressRateText(progress));
    m_lblTimeLeft->setText(progressTimeLeftText(progress));
}

void frmProgress::showFileName()
{
    const int room = m_lblFile->contentsRect().width();
    const QString shown = m_lblFile->isVisible() && room > 0
                              ? m_lblFile->fontMetrics().elidedText(m_fileName, Qt::ElideMiddle, room)
                              : m_fileName;
    m_lblFile->setText(shown);
    m_lblFile->setToolTip(shown == m_fileName ? QString() : m_fileName);
}

void frmProgress::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    showFileName();
}

void frmProgress::finish()
{
    m_finished = true;
}

void frmProgress::closeEvent(QCloseEvent* event)
{
    if (!m_finished) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmProgress::reject()
{
    // Escape would hide the window while the copy still runs; it is Interruption instead.
    if (m_finished)
        QDialog::reject();
    else
        emit cancelPressed();
}

} // namespace orvalt
