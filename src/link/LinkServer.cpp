#include "link/LinkServer.h"

namespace orvalt::link {

namespace {
constexpr qint32 kRefusedBlock = 9;
constexpr int kMaxReplyText = 255; // the program's reply buffer
} // namespace

LinkServer::LinkServer(ByteTransport& transport, RequestHandler& handler)
    : m_transport(transport)
    , m_handler(handler)
{}

void LinkServer::serve(const std::atomic<bool>& stop)
{
    m_failed = false;
    while (!stop.load() && !m_failed && m_transport.isOpen()) {
        const bool watchGap = m_decoder.needsIdle() || m_nakWhenQuiet;
        const QByteArray bytes = m_transport.read(watchGap ? qMin(m_gapMs, kPollMs) : kPollMs);
        if (!bytes.isEmpty()) {
            process(m_decoder.feed(bytes));
            continue;
        }
        if (!m_transport.isOpen())
            break;
        if (watchGap) {
            process(m_decoder.lineIdle());
            // The rest of a damaged frame has passed; the sender may now send it again.
            if (m_nakWhenQuiet)
                sendNak();
        }
    }
}

void LinkServer::process(const QList<FrameDecoder::Event>& events)
{
    for (const FrameDecoder::Event& event : events) {
        switch (event.type) {
        case FrameDecoder::Event::Type::RawLine:
            ++m_rawLines;
            // A raw line switches the instrument's mode, between sessions of requests: a request
            // after it is new even if it looks like the last one before it.
            m_lastRequest.reset();
            m_handler.handleRawLine(event.line);
            break;
        case FrameDecoder::Event::Type::Damaged:
            ++m_damaged;
            // A whole frame with a bad check is answered at once; for anything else the rest of the
            // frame may still be on its way, and a Nak now would only cross it.
            if (event.damage == FrameDecoder::Damage::BadCrc)
                sendNak();
            else
                m_nakWhenQuiet = true;
            break;
        case FrameDecoder::Event::Type::Frame:
            ++m_framesReceived;
            if (event.frame.kind == FrameKind::Command || event.frame.kind == FrameKind::Data) {
                m_nakWhenQuiet = false;
                answer(event.frame);
            }
            // Frames of the answering kinds can only be our own echo or noise; they are ignored.
            break;
        }
        if (m_failed)
            return;
    }
}

void LinkServer::answer(const Frame& request)
{
    // A request repeated because its answer was lost is answered again from the cache, so a data
    // block is never written twice and a command never run twice.
    if (m_lastRequest && *m_lastRequest == request) {
        ++m_duplicates;
        send(m_lastAnswer);
        return;
    }

    Request req;
    req.kind = request.kind == FrameKind::Command ? Request::Kind::Command : Request::Kind::Data;
    req.blockType = request.tag;
    req.payload = request.payload;
    const Answer ans = m_handler.handle(req);

    Frame reply;
    reply.seq = request.seq;
    if (req.kind == Request::Kind::Command) {
        reply.kind = FrameKind::Reply;
        reply.tag = ans.kind == Answer::Kind::Reply ? ans.code : kRefusedBlock;
        if (ans.kind == Answer::Kind::Reply)
            reply.payload = ans.payload.left(kMaxReplyText);
    } else {
        reply.kind = FrameKind::Block;
        reply.tag = kRefusedBlock;
        if (ans.kind == Answer::Kind::Block && ans.code >= 0 && ans.code <= 255 &&
            ans.payload.size() <= kMaxPayload) {
            reply.tag = ans.code;
            reply.payload = ans.payload;
        }
    }
    m_lastRequest = request;
    m_lastAnswer = encodeFrame(reply);
    send(m_lastAnswer);
}

bool LinkServer::send(const QByteArray& bytes)
{
    if (!m_transport.write(bytes))
        m_failed = true;
    return !m_failed;
}

void LinkServer::sendNak()
{
    m_nakWhenQuiet = false;
    Frame nak;
    nak.kind = FrameKind::Nak;
    ++m_naksSent;
    send(encodeFrame(nak));
}

} // namespace orvalt::link
