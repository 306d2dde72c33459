#include "viewer/ViewDocument.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace orvalt {

namespace {

// A file of this name is meant for a table of numbers: when it does not read as one, the user
// is told why rather than left to wonder where the plot went.
bool namedAsTable(const QString& name)
{
    const QString lower = name.toLower();
    return lower.endsWith(QLatin1String(".csv")) || lower.endsWith(QLatin1String(".tsv"));
}

} // namespace

QString byteCountText(qint64 bytes)
{
    return QStringLiteral("%1 bytes").arg(QLocale(QLocale::English).toString(static_cast<qlonglong>(bytes)));
}

QString shortSizeText(qint64 bytes)
{
    if (bytes < 1000 * 1000)
        return byteCountText(bytes);
    return QStringLiteral("%1 MB").arg(
        QLocale(QLocale::English).toString(static_cast<double>(bytes) / 1.0e6, 'g', 3));
}

ViewDocument viewDocument(const QString& name, const QString& origin, QByteArray bytes, qint64 fileSize)
{
    ViewDocument d;
    d.name = name;
    d.origin = origin;
    d.bytes = std::move(bytes);
    d.fileSize = qMax<qint64>(fileSize, d.bytes.size());
    if (d.cutShort())
        d.notes << QStringLiteral("The file holds %1; the first %2 are shown.")
                       .arg(byteCountText(d.fileSize), shortSizeText(d.bytes.size()));
    if (d.bytes.isEmpty()) {
        d.kind = ViewDocument::Kind::Empty;
        d.notes << QStringLiteral("The file is empty.");
        return d;
    }
    if (looksBinary(d.bytes)) {
        d.kind = ViewDocument::Kind::Binary;
        if (namedAsTable(name))
            d.notes << QStringLiteral("The file holds bytes that are not text; it is shown in hex.");
        return d;
    }
    d.encoding = guessEncoding(d.bytes, d.cutShort());
    d.kind = ViewDocument::Kind::Text;
    // A file cut short ends in the middle of a row, which is left out rather than told as ragged.
    const qsizetype whole = d.cutShort() ? d.bytes.lastIndexOf('\n') + 1 : d.bytes.size();
    auto measurement = std::make_shared<MeasurementFile>(
        readMeasurementFile(QByteArray::fromRawData(d.bytes.constData(), whole), d.encoding));
    if (measurement->plottable()) {
        d.kind = ViewDocument::Kind::Measurement;
        d.notes << measurement->notes();
        const auto drawn = static_cast<qsizetype>(measurement->series.size());
        if (drawn > kSeriesDrawnAtFirst)
            d.notes << QStringLiteral("%1 columns hold numbers: the first %2 are drawn; tick others in the "
                                      "list beside the plot.")
                           .arg(QLocale(QLocale::English).toString(static_cast<qlonglong>(drawn)))
                           .arg(kSeriesDrawnAtFirst);
        d.measurement = std::move(measurement);
    } else if (namedAsTable(name)) {
        d.notes << measurement->problem + QStringLiteral(" It is shown as text.");
    }
    return d;
}

bool readForView(const QString& nativePath, qint64 cap, QByteArray& bytes, qint64& fileSize, QString& why)
{
    const QFileInfo info(nativePath);
    // A FIFO or device would be read for ever (or change what it is attached to).
    if (info.exists() && !info.isFile()) {
        why = QStringLiteral("it is not a regular file");
        return false;
    }
    QFile file(nativePath);
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        return false;
    }
    fileSize = file.size();
    bytes = file.read(qMin(cap, fileSize));
    if (bytes.size() < qMin(cap, fileSize) && file.error() != QFileDevice::NoError) {
        why = file.errorString();
        return false;
    }
    return true;
}

} // namespace orvalt
