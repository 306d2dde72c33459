#pragma once

// A command handler on a temporary media folder, driven request by request without a line.

#include "CommandHandler.h"
#include "InstrumentOptions.h"
#include "MediaStore.h"
#include "Transcript.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <memory>

namespace orvalt::test {

class InstrumentRig
{
public:
    explicit InstrumentRig(instrument::InstrumentOptions options = {})
        : m_options(std::move(options))
        , m_store(m_options.shortNames)
    {
        m_options.mediaDir = m_dir.filePath(QStringLiteral("media"));
        QString error;
        m_ready = m_store.open(m_options.mediaDir, m_options.mediaNames, &error);
        m_handler = std::make_unique<instrument::CommandHandler>(m_options, m_store, m_transcript);
    }

    bool isReady() const { return m_ready; }
    instrument::CommandHandler& handler() { return *m_handler; }
    QString medium(const QString& letter = QStringLiteral("M")) const
    {
        return QDir(m_options.mediaDir).filePath(letter);
    }
    QString mediaDir() const { return m_options.mediaDir; }
    QString outside() const { return m_dir.path(); } // beside the media folder, never to be touched

    link::Answer command(const QByteArray& text)
    {
        return m_handler->handle({link::Request::Kind::Command, 0, text});
    }
    qint32 code(const QByteArray& text) { return command(text).code; }
    link::Answer block(qint32 type, const QByteArray& payload = {})
    {
        return m_handler->handle({link::Request::Kind::Data, type, payload});
    }

    // The whole "FWT " exchange as the program runs it; returns the "DUMMY" result. kinds receives
    // the kind of every acknowledgement.
    qint32 upload(const QByteArray& line, const QByteArray& content, QList<qint32>* kinds = nullptr)
    {
        QList<qint32> acks;
        char header[4];
        qToBigEndian<quint32>(static_cast<quint32>(content.size()), header);
        bool go = (acks << block(0, line).code).constLast() != 9;
        go = go && (acks << block(0, QByteArray(header, 4)).code).constLast() != 9;
        for (qsizetype at = 0; go; at += 256) {
            const bool last = content.size() - at <= 256;
            go = (acks << block(last ? 1 : 0, content.mid(at, 256)).code).constLast() != 9 && !last;
        }
        if (kinds)
            *kinds = acks;
        return code("DUMMY");
    }

    // The "FRD? " exchange; returns the data after the length (empty and ok false on refusal).
    QByteArray download(const QByteArray& name, bool* ok, quint32* announced = nullptr)
    {
        QByteArray all;
        link::Answer answer = block(3, "FRD? " + name);
        while (answer.code != 9) {
            all += answer.payload;
            if (answer.code == 7)
                break;
            answer = block(4);
        }
        *ok = answer.code == 7 && all.size() >= 4;
        if (!*ok)
            return {};
        if (announced)
            *announced = qFromBigEndian<quint32>(all.constData());
        return all.mid(4);
    }

    // The "DIR?" text and the sizes of its blocks.
    QByteArray listing(QList<qsizetype>* sizes = nullptr)
    {
        QByteArray all;
        link::Answer answer = block(3, "DIR?");
        while (answer.code != 9) {
            all += answer.payload;
            if (sizes)
                sizes->append(answer.payload.size());
            if (answer.code == 7)
                break;
            answer = block(4);
        }
        return all;
    }

    static bool writeFile(const QString& path, const QByteArray& content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }
    static QByteArray readFile(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private:
    QTemporaryDir m_dir;
    instrument::InstrumentOptions m_options;
    instrument::MediaStore m_store;
    instrument::Transcript m_transcript;
    std::unique_ptr<instrument::CommandHandler> m_handler;
    bool m_ready = false;
};

inline QByteArray patternBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

} // namespace orvalt::test
