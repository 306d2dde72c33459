#pragma once

#include "shell/DialogSeam.h"

class QWidget;

namespace orvalt {

// The dialog seam answered by real Qt dialogs, owned by the main window.
class QtDialogs : public DialogSeam
{
public:
    explicit QtDialogs(QWidget* owner = nullptr)
        : m_owner(owner)
    {}
    void setOwner(QWidget* owner) { m_owner = owner; }

    Button message(const QString& text, Buttons buttons, Icon icon, Button defaultButton,
                   const QString& caption) override;
    void setBusyPointer(bool busy) override;
    void yield() override;

private:
    QWidget* m_owner;
};

} // namespace orvalt
