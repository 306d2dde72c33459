#pragma once

// What a run of instrument commands selected, read back from them: a session that knows where the
// instrument stands selects nothing that is selected already.

#include <QString>
#include <QStringList>

namespace orvalt::test {

// The selecting commands ("MED 0", "CDR /DATA", as the instrument's transcript gives them without
// "CMD ") that chose what was chosen already. A medium is chosen at its root; a move or a format
// leaves the place unknown. The run is taken to succeed throughout.
inline QStringList needlessSelections(const QStringList& commands)
{
    QStringList needless;
    QString medium;
    QString folder;
    for (const QString& command : commands) {
        if (command.startsWith(QLatin1String("MED "))) {
            if (!medium.isEmpty() && command.mid(4) == medium)
                needless << command;
            medium = command.mid(4);
            folder = QStringLiteral("/");
        } else if (command.startsWith(QLatin1String("CDR "))) {
            QString to = command.mid(4);
            while (to.size() > 1 && to.endsWith(QLatin1Char('/')))
                to.chop(1);
            if (!medium.isEmpty() && to == folder)
                needless << command;
            folder = to;
        } else if (command.startsWith(QLatin1String("MOV ")) || command.startsWith(QLatin1String("FMT "))) {
            medium.clear();
            folder.clear();
        }
    }
    return needless;
}

} // namespace orvalt::test
