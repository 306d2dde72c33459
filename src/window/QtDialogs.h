#pragma once

#include "core/DialogSeam.h"

#include <QPointer>

class QWidget;

namespace orvalt {

class frmProgress;

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
    // Each of these lives beside the window it shows (QtDialogs*.cpp).
    int overwriteQuestion(const QString& name, const QString& source, const QString& destination) override;
    int nameDialog(const NameDialogView& view, QString& name,
                   const std::function<bool(const QString&)>& accept) override;
    void transferProgress(const QString& file, qint64 done, qint64 total) override;
    // The progress window frmProgress (QtDialogsProgress.cpp).
    void progressOpen(int minimum, int maximum) override;
    void progressStep(int value) override;
    void progressJob(const QList<JobTotals>& items) override;
    void progressNotice(const QString& text) override;
    void progressClose() override;
    QString saveFileName(const QString& caption, const QString& suggested, const QString& filter) override;
    void setBusyPointer(bool busy) override;
    void yield() override;

    QWidget* owner() const { return m_owner; }
    // What the progress window's Cancel and Escape do: the main window's Interruption.
    void setProgressCancel(std::function<void()> cancel) { m_progressCancel = std::move(cancel); }
    // Where busyText goes: the main window's status bar.
    void setBusyTextShown(std::function<void(const QString&)> shown) { m_busyTextShown = std::move(shown); }
    void busyText(const QString& text) override
    {
        if (m_busyTextShown)
            m_busyTextShown(text);
    }

private:
    QWidget* m_owner;
    std::function<void()> m_progressCancel;
    std::function<void(const QString&)> m_busyTextShown;
    QPointer<frmProgress> m_progress;
};

} // namespace orvalt
