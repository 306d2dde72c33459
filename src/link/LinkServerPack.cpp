// LinkServer's compressed block streams (docs/link-protocol.md, "Compression"). The handler never
// sees them: a compressed file write reaches it as the plain one would (the "FWT " line, the 4-byte
// length, blocks of 256 bytes, the last as type 1), and the plain answer it gives to "DIR?" or
// "FRD? " leaves here compressed.

#include "link/BlockKinds.h"
#include "link/LinkPack.h"
#include "link/LinkServer.h"

namespace orvalt::link {

namespace {

// This end's compressor, sized for an instrument's memory: a 4 KiB window and 4 KiB hash chains,
// 32 KiB with the hash table and the symbol buffer. On measurement files it compresses as well
// as a 32 KiB window does.
constexpr int kAnswerWindowBits = 12;
constexpr int kAnswerMemLevel = 5;
constexpr int kAnswerLevel = 6;
constexpr int kLengthBytes = 4;
constexpr int kFileBlock = 256;
// What one call of the decompressor may produce: bounds the memory a hostile stream can take.
constexpr qsizetype kUnpackChunk = 4096;

Answer blockOf(qint32 type, const QByteArray& data = {})
{
    return {Answer::Kind::Block, type, data};
}

bool isRefusal(const Answer& answer)
{
    return answer.kind != Answer::Kind::Block || answer.code == kBlockRefused;
}

} // namespace

void LinkServer::setPack(int windowBits)
{
    m_packBits = windowBits <= 0 ? 0 : qBound(kMinPackWindowBits, windowBits, kMaxPackWindowBits);
    endPack();
}

void LinkServer::endPack()
{
    m_packWriter.reset();
    m_packReader.reset();
    m_packAnswerEnded = false;
    m_packLengthGiven = false;
    m_unpacked.clear();
}

std::optional<Answer> LinkServer::answerPacked(qint32 type, const QByteArray& payload)
{
    if (m_packBits > 0) {
        if (type == kBlockPackedCommand)
            return startPackedAnswer(payload);
        if (type == kBlockPackedWrite)
            return startPackedUpload(payload);
        if (type == kBlockNext && m_packWriter) {
            m_handler.packedBlock(type, payload);
            return nextPackedBlock();
        }
        if ((type == kBlockMore || type == kBlockFinal) && m_packReader) {
            m_handler.packedBlock(type, payload);
            return takePackedBlock(type == kBlockFinal, payload);
        }
    }
    endPack(); // any other block starts an exchange of its own
    return std::nullopt;
}

Answer LinkServer::startPackedAnswer(const QByteArray& request)
{
    endPack();
    Answer first = m_handler.handle({Request::Kind::Data, kBlockCommand, request});
    if (isRefusal(first))
        return first;
    // Compressed for what the program said it decodes; before it said, for any decoder.
    const int bits = qMin(kAnswerWindowBits, m_peerPackBits > 0 ? m_peerPackBits : kMinPackWindowBits);
    m_packWriter = std::make_unique<PackWriter>(bits, kAnswerMemLevel, kAnswerLevel);
    m_packAnswerEnded = first.code != kBlockMore;
    if (!m_packWriter->write(first.payload) || (m_packAnswerEnded && !m_packWriter->finish())) {
        endPack();
        return blockOf(kBlockRefused);
    }
    return nextPackedBlock();
}

// A full block of the stream while the answer goes on; the rest, as the last block, once the
// handler's last block is in. The handler is asked for as many plain blocks as that takes.
Answer LinkServer::nextPackedBlock()
{
    while (!m_packAnswerEnded && m_packWriter->pending() <= kPackBlock) {
        Answer next = m_handler.handle({Request::Kind::Data, kBlockNext, {}});
        if (isRefusal(next)) {
            endPack();
            return next;
        }
        m_packAnswerEnded = next.code != kBlockMore;
        if (!m_packWriter->write(next.payload) || (m_packAnswerEnded && !m_packWriter->finish())) {
            endPack();
            return blockOf(kBlockRefused);
        }
    }
    const QByteArray chunk = m_packWriter->take(kPackBlock);
    if (m_packAnswerEnded && m_packWriter->pending() == 0) {
        endPack();
        return blockOf(kBlockLast, chunk);
    }
    return blockOf(kBlockMore, chunk);
}

Answer LinkServer::startPackedUpload(const QByteArray& line)
{
    endPack();
    Answer answer = m_handler.handle({Request::Kind::Data, kBlockMore, line});
    if (!isRefusal(answer))
        m_packReader = std::make_unique<PackReader>(m_packBits);
    return answer;
}

Answer LinkServer::handOn(qint32 type, const QByteArray& data)
{
    Answer answer = m_handler.handle({Request::Kind::Data, type, data});
    if (isRefusal(answer))
        endPack();
    return answer;
}

Answer LinkServer::streamBroken()
{
    // The handler drops the file (the old one of that name stays) and its "DUMMY" tells it failed.
    m_handler.commandAnsweredByLink();
    endPack();
    return blockOf(kBlockRefused);
}

// Decompresses a block of the stream and hands the handler what is sure not to be the file's last
// block: the length first, then 256 bytes at a time while more is known to follow. The last block
// of the stream must end it exactly.
Answer LinkServer::takePackedBlock(bool last, const QByteArray& packed)
{
    if (m_packReader->atEnd())
        return streamBroken(); // a block after the stream's end
    m_packReader->feed(packed);
    for (;;) {
        const qsizetype before = m_unpacked.size();
        if (!m_packReader->read(m_unpacked, kUnpackChunk - m_unpacked.size()))
            return streamBroken();
        const bool produced = m_unpacked.size() > before;
        if (!m_packLengthGiven && m_unpacked.size() >= kLengthBytes) {
            Answer answer = handOn(kBlockMore, m_unpacked.left(kLengthBytes));
            if (isRefusal(answer))
                return answer;
            m_unpacked.remove(0, kLengthBytes);
            m_packLengthGiven = true;
        }
        while (m_packLengthGiven && m_unpacked.size() > kFileBlock) {
            Answer answer = handOn(kBlockMore, m_unpacked.left(kFileBlock));
            if (isRefusal(answer))
                return answer;
            m_unpacked.remove(0, kFileBlock);
        }
        if (!produced)
            break; // all of this block is used
    }
    if (!last)
        return m_packReader->atEnd() ? streamBroken() : blockOf(kBlockMore);
    if (!m_packReader->atEnd() || !m_packLengthGiven)
        return streamBroken();
    const QByteArray rest = m_unpacked;
    Answer answer = handOn(kBlockFinal, rest);
    endPack();
    return answer;
}

} // namespace orvalt::link
