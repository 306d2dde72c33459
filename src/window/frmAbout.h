#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace orvalt {

// The About box: the program's title, version and description. It is modeless and deletes itself
// when closed; the main window creates it with itself as parent and shows it.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);

    QLabel* picIcon() const { return m_picIcon; }
    QLabel* lblTitle() const { return m_lblTitle; }
    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* lblDescription() const { return m_lblDescription; }
    QPushButton* cmdOK() const { return m_cmdOK; }

public slots:
    void cmdOK_Click();

private:
    void createControls();

    QLabel* m_picIcon = nullptr;
    QLabel* m_lblTitle = nullptr;
    QLabel* m_lblVersion = nullptr;
    QLabel* m_lblDescription = nullptr;
    QPushButton* m_cmdOK = nullptr;
};

} // namespace orvalt
