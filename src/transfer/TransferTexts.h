#pragma once

#include <QString>

namespace orvalt::TransferTexts {

// Texts for failures on the host's side of a transfer, each naming the file concerned.

// The name to show for a host file: its native path when it has one, else the path as given.
QString hostFileName(const QString& hostPath, const QString& nativePath);

QString cannotRead(const QString& file, const QString& why);
QString tooLarge(const QString& file, qint64 size);
QString cannotWrite(const QString& file, const QString& why);
QString tooLargeToReceive(const QString& remotePath, qint64 size);
QString pathNotSendable(const QString& remotePath, const QString& why);

} // namespace orvalt::TransferTexts
