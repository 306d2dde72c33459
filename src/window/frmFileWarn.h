#pragma once

#include "core/DialogSeam.h"

#include <QDialog>
#include <functional>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orvalt {

// The name dialog: the offending name with a headline, the form a name must have, the characters
// allowed, and a box with the name to edit. OK closes only with a text the accept rule takes;
// a refused text puts the opening name back in the box and the dialog stays open.
class frmFileWarn : public QDialog
{
    Q_OBJECT

public:
    frmFileWarn(const DialogSeam::NameDialogView& view, const QString& name,
                std::function<bool(const QString&)> accept, QWidget* parent = nullptr);

    // The accepted text (the opening name until OK closes the dialog).
    QString name() const { return m_name; }

    QLabel* lblFileWarn() const { return m_lblFileWarn; }
    QLabel* lblChange() const { return m_lblChange; }
    QLabel* lblChars() const { return m_lblChars; }
    QLineEdit* txtFileWarn() const { return m_txtFileWarn; }
    QPushButton* cmdOK() const { return m_cmdOK; }
    QPushButton* Command1() const { return m_Command1; }

public slots:
    void cmdOK_Click();

private:
    QString m_name;
    std::function<bool(const QString&)> m_accept;
    QFrame* m_waku = nullptr;
    QLabel* m_lblFileWarn = nullptr;
    QLabel* m_lblChange = nullptr;
    QLabel* m_lblChars = nullptr;
    QLineEdit* m_txtFileWarn = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_Command1 = nullptr;
};

} // namespace orvalt
