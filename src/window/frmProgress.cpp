#include "window/frmProgress.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
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
    // A long name must not widen the window past the main window; its end is what tells files apart.
    m_lblFile->setMinimumWidth(fontMetrics().averageCharWidth() * 40);
    m_lblFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_lblBytes = new QLabel(this);
    m_lblBytes->setObjectName(QStringLiteral("lblBytes"));
    m_lblRate = new QLabel(this);
    m_lblRate->setObjectName(QStringLiteral("lblRate"));
    m_lblRate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lblTimeLeft = new QLabel(this);
    m_lblTimeLeft->setObjectName(QStringLiteral("lblTimeLeft"));
    m_lblTimeLeft->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    m_ProgressBar1 = new QProgressBar(this);
    m_ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_ProgressBar1->setTextVisible(false);
    m_Label1 = new QLabel(this);
    m_Label1->setObjectName(QStringLiteral("Label1"));
    m_Label1->setTextFormat(Qt::PlainText);
    m_Label1->setWordWrap(true);

    auto* figures = new QGridLayout;
    figures->addWidget(m_lblFile, 0, 0, 1, 2);
    figures->addWidget(m_lblBytes, 1, 0);
    figures->addWidget(m_lblRate, 1, 1);
    figures->addWidget(m_lblTimeLeft, 2, 1);
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
    layout->addWidget(m_ProgressBar1);
    layout->addWidget(m_Label1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void frmProgress::start(int minimum, int maximum)
{
    m_ProgressBar1->setRange(minimum, qMax(minimum, maximum));
    m_ProgressBar1->setValue(minimum);
    m_ProgressBar1->show();
    m_Label1->clear();
    m_meter.reset();
    showFile(FileProgress{});
    m_lblBytes->clear();
}

void frmProgress::step(int value)
{
    m_ProgressBar1->setValue(qBound(m_ProgressBar1->minimum(), value, m_ProgressBar1->maximum()));
}

void frmProgress::notice(const QString& text)
{
    m_Label1->setText(text);
}

void frmProgress::transfer(const QString& file, qint64 done, qint64 total)
{
    showFile(m_meter.update(file, done, total, m_clock.elapsed()));
}

void frmProgress::showFile(const FileProgress& progress)
{
    m_lblFile->setText(progress.file);
    m_lblBytes->setText(progressBytesText(progress));
    m_lblRate->setText(progressRateText(progress));
    m_lblTimeLeft->setText(progressTimeLeftText(progress));
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
