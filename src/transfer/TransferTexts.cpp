#include "transfer/TransferTexts.h"

#include <QDir>

namespace orvalt::TransferTexts {

QString hostFileName(const QString& hostPath, const QString& nativePath)
{
    return nativePath.isEmpty() ? hostPath : QDir::toNativeSeparators(nativePath);
}

QString cannotRead(const QString& file, const QString& why)
{
    return QStringLiteral("The file %1 could not be read (%2). It was not sent.").arg(file, why);
}

QString tooLarge(const QString& file, qint64 size)
{
    return QStringLiteral("The file %1 has %2 bytes. The measurement device takes files of less than "
                          "2147483648 bytes, so it was not sent.")
        .arg(file)
        .arg(size);
}

QString cannotWrite(const QString& file, const QString& why)
{
    return QStringLiteral("The file %1 could not be written (%2). A file of that name that was there "
                          "before is kept.")
        .arg(file, why);
}

QString tooLargeToReceive(const QString& remotePath, qint64 size)
{
    return QStringLiteral("The file %1 has %2 bytes, more than the 2147483647 bytes a file from the "
                          "measurement device may have. It was not received; a file of that name that was "
                          "there before is kept.")
        .arg(remotePath)
        .arg(size);
}

QString pathNotSendable(const QString& remotePath, const QString& why)
{
    return QStringLiteral("%1 cannot be sent to the measurement device: %2.").arg(remotePath, why);
}

} // namespace orvalt::TransferTexts
