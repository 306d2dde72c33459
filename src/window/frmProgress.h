#pragma once

#include "transfer/TransferMeter.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace orvalt {

// The copy's progress window: a small modeless window over the main window with the rows bar
// ProgressBar1 and the notice Label1, and above them the file in hand with its bytes done of its
// size, the rate and the time left for it. The user cannot close it; the copy closes it at its end.
// Its Cancel button and Escape are Interruption: the first press lets the file in hand finish, the
// second drops it.
class frmProgress : public QDialog
{
    Q_OBJECT

public:
    explicit frmProgress(QWidget* parent = nullptr);

    // The rows bar from minimum to maximum, at minimum; no notice and no file in hand.
    void start(int minimum, int maximum);
    void step(int value);
    void notice(const QString& text);
    // A report of the sender or the receiver, timed by the window's own clock.
    void transfer(const QString& file, qint64 done, qint64 total);
    void showFile(const FileProgress& progress);
    // Lets the window close (the close box and Escape do nothing before).
    void finish();

    QProgressBar* ProgressBar1() const { return m_ProgressBar1; }
    QLabel* Label1() const { return m_Label1; }
    QLabel* lblFile() const { return m_lblFile; }
    QLabel* lblBytes() const { return m_lblBytes; }
    QLabel* lblRate() const { return m_lblRate; }
    QLabel* lblTimeLeft() const { return m_lblTimeLeft; }
    QPushButton* cmdCancel() const { return m_cmdCancel; }

signals:
    // Cancel or Escape while the copy runs.
    void cancelPressed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void createControls();

    QProgressBar* m_ProgressBar1 = nullptr;
    QLabel* m_Label1 = nullptr;
    QLabel* m_lblFile = nullptr;
    QLabel* m_lblBytes = nullptr;
    QLabel* m_lblRate = nullptr;
    QLabel* m_lblTimeLeft = nullptr;
    QPushButton* m_cmdCancel = nullptr;
    TransferMeter m_meter;
    QElapsedTimer m_clock;
    bool m_finished = false;
};

} // namespace orvalt
