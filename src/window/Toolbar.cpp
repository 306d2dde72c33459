#include "window/Toolbar.h"

#include "core/DialogSeam.h"

#include <QDebug>
#include <exception>

namespace orvalt {

const std::vector<ToolButtonInfo>& toolButtons()
{
    static const std::vector<ToolButtonInfo> buttons = {
        {ToolKeys::Up,
         1006,
         QStringLiteral("Up One Level"),
         {QStringLiteral("go-up")},
         QStyle::SP_FileDialogToParent},
        {ToolKeys::Open,
         1007,
         QStringLiteral("Open"),
         {QStringLiteral("document-open")},
         QStyle::SP_DirOpenIcon},
        {ToolKeys::Delete,
         1008,
         QStringLiteral("Delete"),
         {QStringLiteral("edit-delete")},
         QStyle::SP_TrashIcon},
        {ToolKeys::CopyLeft,
         1018,
         QStringLiteral("Left"),
         {QStringLiteral("go-previous")},
         QStyle::SP_ArrowLeft},
        {ToolKeys::Interrupt,
         1020,
         QStringLiteral("Cancel"),
         {QStringLiteral("process-stop")},
         QStyle::SP_BrowserStop},
        {ToolKeys::CopyRight,
         1019,
         QStringLiteral("Right"),
         {QStringLiteral("go-next")},
         QStyle::SP_ArrowRight},
        {ToolKeys::Connect,
         1024,
         QStringLiteral("Connect"),
         {QStringLiteral("network-transmit-receive")},
         QStyle::SP_DriveNetIcon},
        {ToolKeys::Disconnect,
         1028,
         QStringLiteral("DisConnect"),
         {QStringLiteral("network-offline")},
         QStyle::SP_DialogCloseButton},
        {ToolKeys::Renew,
         1025,
         QStringLiteral("Files"),
         {QStringLiteral("view-refresh")},
         QStyle::SP_BrowserReload},
        {ToolKeys::Rename,
         1026,
         QStringLiteral("Change"),
         {QStringLiteral("edit-rename"), QStringLiteral("accessories-text-editor")},
         QStyle::SP_FileDialogDetailedView},
        {ToolKeys::Format,
         1027,
         QStringLiteral("Format"),
         {QStringLiteral("media-floppy")},
         QStyle::SP_DriveFDIcon},
    };
    return buttons;
}

void ToolbarDispatcher::dispatch(const QString& key)
{
    m_state.Interactive = true;
    if (m_running > 0 && key != ToolKeys::Interrupt) {
        m_renewAfter = m_renewAfter || (key == ToolKeys::Renew && !m_state.TransferBusy);
        return;
    }
    const auto it = m_actions.find(key);
    if (it != m_actions.end() && it->second) {
        ++m_running;
        // An action's unexpected failure must not take the window down; the action reports what the
        // user needs to know itself, and the dispatcher goes on.
        try {
            it->second();
        } catch (const std::exception& e) {
            qWarning("toolbar action failed: %s", e.what());
        }
        --m_running;
    }
    m_dialogs.setBusyPointer(false);
    if (m_after)
        m_after();
    if (m_running == 0 && m_renewAfter) {
        m_renewAfter = false;
        dispatch(ToolKeys::Renew);
    }
}

} // namespace orvalt
