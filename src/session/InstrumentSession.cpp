#include "session/InstrumentSession.h"

#include "link/CommandWords.h"
#include "session/CommandExchange.h"
#include "session/SessionContext.h"

namespace orvalt {

QString wireFolder(const QString& paneFolder)
{
    QString folder = paneFolder;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

InstrumentSession::Selected InstrumentSession::select(SessionContext& s, const QString& mediumCode,
                                                      const QString& folder)
{
    Selected selected;
    if (knows(mediumCode, folder) || (folder.isEmpty() && m_known && m_medium == mediumCode))
        return selected;
    if (!m_known || m_medium != mediumCode) {
        m_known = false;
        selected.medium = SendCmd(s.state, s.link, s.dialogs, CommandWords::kMedium + mediumCode);
        if (selected.medium != 0)
            return selected;
        // A medium is selected at its root.
        m_known = true;
        m_medium = mediumCode;
        m_folder = QStringLiteral("/");
        if (folder.isEmpty() || folder == m_folder)
            return selected;
    }
    m_known = false;
    selected.folder = SendCmd(s.state, s.link, s.dialogs, CommandWords::kChangeFolder + folder);
    if (selected.folder != 0)
        return selected;
    m_known = true;
    m_medium = mediumCode;
    m_folder = folder;
    return selected;
}

qint32 InstrumentSession::sendIn(SessionContext& s, const QString& mediumCode, const QString& folder,
                                 const QString& command)
{
    const Selected selected = select(s, mediumCode, folder);
    if (!selected.ok())
        return selected.result();
    const qint32 result = SendCmd(s.state, s.link, s.dialogs, command);
    noteResult(result);
    return result;
}

qint32 InstrumentSession::send(SessionContext& s, const QString& command)
{
    const qint32 result = SendCmd(s.state, s.link, s.dialogs, command);
    if (command.startsWith(CommandWords::kMove) || command.startsWith(CommandWords::kFormat))
        forget();
    noteResult(result);
    return result;
}

void InstrumentSession::noteResult(qint32 result)
{
    if (result != 0)
        forget();
}

} // namespace orvalt
