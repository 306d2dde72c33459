#pragma once

#include <QString>
#include <QtGlobal>

namespace orvalt {

struct SessionContext;

// The medium and folder selected on the instrument ("MED ", "CDR "), as this program last set
// them. Every command that acts in the selected place goes through here, and the place it names is
// selected first, only when it is not the one selected already. Whatever fails, or may have moved
// the instrument elsewhere, makes the session forget: the next command selects again.
class InstrumentSession
{
public:
    // What the selection came to: the result of "MED " and of "CDR " (0 for one not needed).
    struct Selected
    {
        qint32 medium = 0;
        qint32 folder = 0;

        bool ok() const { return medium == 0 && folder == 0; }
        // The first failing command's result, else 0.
        qint32 result() const { return medium != 0 ? medium : folder; }
    };

    // Makes the medium of code mediumCode ("0" INT MEM, "1" Card 1, ...) and its folder folder (the
    // wire form: "/", "/DATA") the selected place. An empty folder asks for the medium alone, for a
    // command that names its folder from the medium's root ("MKDR /DATA/NEW").
    Selected select(SessionContext& s, const QString& mediumCode, const QString& folder);
    // A command that acts in the selected place ("MKDR ", "FDL ", "DIR?" through the listing), sent
    // once that place is selected; a refused selection is returned and the command not sent.
    qint32 sendIn(SessionContext& s, const QString& mediumCode, const QString& folder,
                  const QString& command);
    // A command that names its own medium and paths ("FWT ", "CPY ", "MOV ", "FMT "), or any other:
    // sent as it is. A move or a format may take the selected folder away, so it is forgotten.
    qint32 send(SessionContext& s, const QString& command);
    // Records the result of a request sent outside these calls (a file read's or a listing's
    // blocks): a failure makes the session forget.
    void noteResult(qint32 result);
    // Nothing is known to be selected: after a failure, a new connection, leaving the instrument.
    void forget() { m_known = false; }

    bool knows(const QString& mediumCode, const QString& folder) const
    {
        return m_known && m_medium == mediumCode && m_folder == folder;
    }

private:
    bool m_known = false;
    QString m_medium;
    QString m_folder;
};

// The wire form of a pane folder ("\DATA" -> "/DATA", "\" or "" -> "/").
QString wireFolder(const QString& paneFolder);

} // namespace orvalt
