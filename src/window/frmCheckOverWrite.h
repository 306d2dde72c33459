#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace orvalt {

// The overwrite question: names the item, describes the existing destination and the source, and
// offers Yes, Completely Yes, No and Cancel. answer() gives 0, 1, 2 or 3; closing the window any
// other way (close box, Escape) leaves 3, Cancel. While it shows, the pointer is the default arrow;
// when it closes, the hourglass comes back, since the work that asked goes on.
class frmCheckOverWrite : public QDialog
{
    Q_OBJECT

public:
    frmCheckOverWrite(const QString& name, const QString& source, const QString& destination,
                      QWidget* parent = nullptr);

    int answer() const { return m_answer; }

    QLabel* lblOverWrite() const { return m_lblOverWrite; }
    QLabel* lblDestination() const { return m_lblDestination; }
    QLabel* lblSource() const { return m_lblSource; }
    QLabel* Picture1() const { return m_Picture1; }
    QPushButton* CmdYes() const { return m_CmdYes; }
    QPushButton* CmdAllYes() const { return m_CmdAllYes; }
    QPushButton* CmdNo() const { return m_CmdNo; }
    QPushButton* CmdCan() const { return m_CmdCan; }

    void done(int result) override;

private:
    void createControls();
    void answerWith(int answer);

    int m_answer = 3;
    QLabel* m_Picture1 = nullptr;
    QLabel* m_lblOverWrite = nullptr;
    QLabel* m_lblDestination = nullptr;
    QLabel* m_lblSource = nullptr;
    QPushButton* m_CmdYes = nullptr;
    QPushButton* m_CmdAllYes = nullptr;
    QPushButton* m_CmdNo = nullptr;
    QPushButton* m_CmdCan = nullptr;
};

} // namespace orvalt
