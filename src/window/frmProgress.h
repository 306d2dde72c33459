#pragma once

#include "transfer/JobProgress.h"
#include "transfer/TransferMeter.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orvalt {

// The copy's progress window: a small modeless window over the main window with the rows bar
// ProgressBar1 and the notice Label1, and above them the file in hand with its bytes done of its
// size, the rate and the time left for it; between them the whole job: files and bytes done of
// the totals counted before the copy began, a bar for the bytes and the time left for all of it.
// The user cannot close it; the copy closes it at its end.
// Its Cancel button and Escape are Interruption: the first press lets the file in hand finish, the
// second drops it.
class frmProgress : public QDialog
{
    Q_OBJECT

public:
    explicit frmProgress(QWidget* parent = nullptr);

    // The rows bar from minimum to maximum, at minimum; no notice and no file in hand.
    void start(int minimum, int maximum);
    // The rows bar's value; the rows before it are done, and the job's figures say so.
    void step(int value);
    // The items of the copy, one per row of the rows bar, counted before the copy starts.
    void job(const QList<JobTotals>& items);
    void notice(const QString& text);
    // A report of the sender or the receiver, timed by the window's own clock.
    void transfer(const QString& file, qint64 done, qint64 total);
    void showFile(const FileProgress& progress);
    // Lets the window close (the close box and Escape do nothing before).
    void finish();

    QProgressBar* ProgressBar1() const { return m_ProgressBar1; }
    QLabel* Label1() const { return m_Label1; }
    // Beside the rows bar, the rows it counts: "3 of 8 rows".
    QLabel* lblRows() const { return m_lblRows; }
    QLabel* lblFile() const { return m_lblFile; }
    QLabel* lblBytes() const { return m_lblBytes; }
    QLabel* lblRate() const { return m_lblRate; }
    QLabel* lblTimeLeft() const { return m_lblTimeLeft; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }
    QLabel* lblJobFiles() const { return m_lblJobFiles; }
    QLabel* lblJobBytes() const { return m_lblJobBytes; }
    QLabel* lblJobTimeLeft() const { return m_lblJobTimeLeft; }
    QProgressBar* barJobBytes() const { return m_barJobBytes; }
    // The whole name of the file in hand (the label shows it shortened in the middle when narrow).
    QString fileName() const { return m_fileName; }

signals:
    // Cancel or Escape while the copy runs.
    void cancelPressed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void createControls();
    void showJob(qint64 bytesPerSecond);
    void showFileName();
    void showRows(int done);

    QProgressBar* m_ProgressBar1 = nullptr;
    QLabel* m_Label1 = nullptr;
    QLabel* m_lblRows = nullptr;
    QLabel* m_lblFile = nullptr;
    QLabel* m_lblBytes = nullptr;
    QLabel* m_lblRate = nullptr;
    QLabel* m_lblTimeLeft = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    QLabel* m_lblJobFiles = nullptr;
    QLabel* m_lblJobBytes = nullptr;
    QLabel* m_lblJobTimeLeft = nullptr;
    QProgressBar* m_barJobBytes = nullptr;
    QString m_fileName;
    qint64 m_rate = -1; // the meter's last rate, bytes a second
    TransferMeter m_meter;
    JobProgress m_job;
    QElapsedTimer m_clock;
    bool m_finished = false;
};

} // namespace orvalt
