#include "window/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace orvalt {

SingleInstance::SingleInstance(const QString& executablePath, const QString& lockFolder)
{
    QString folder = lockFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QByteArray key = QFileInfo(executablePath).absoluteFilePath().toUtf8();
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
    m_path = QDir(folder).filePath(QStringLiteral("orvalt-%1.lock").arg(hash));
}

bool SingleInstance::acquire()
{
    m_lock = std::make_unique<QLockFile>(m_path);
    // A running copy refreshes nothing, so no lock is ever "stale" by age; a dead owner's lock is
    // detected by its process id and taken over by tryLock.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

} // namespace orvalt
