#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace orvalt {

// Holds the lock that tells a second copy of the program that one already runs: one lock per user
// (the user's runtime folder) and per executable path. A lock left by a crashed run is taken over.
class SingleInstance
{
public:
    // lockFolder empty: the user's runtime folder.
    explicit SingleInstance(const QString& executablePath, const QString& lockFolder = QString());
    // True when this is the only copy; the lock is then held until this object goes.
    bool acquire();
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace orvalt
