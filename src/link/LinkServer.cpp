#include "link/LinkServer.h"

#include "link/BlockKinds.h"
#include "link/LinkPack.h"
#include "link/LinkWindow.h"

#include <QElapsedTimer>

namespace orvalt::link {

namespace {
constexpr qint32 kUnknownCommand = 20; // what an instrument answers to a command it does not know
constexpr int kMaxReplyText = 255;     // the program's reply buffer
} // namespace

LinkServer::LinkServer(ByteTransport& transport, RequestHandler& handler)
    : m_transport(transport)
    , m_handler(handler)
{}

LinkServer::~LinkServer() = default;

void LinkServer::serve(const std::atomic<bool>& stop)
{
    m_failed = false;
    QElapsedTimer quiet;
    quiet.start();
    while (!stop.load() && !m_failed && m_transport.isOpen()) {
        const bool watchGap = m_decoder.needsIdle() || m_nakWhenQuiet || m_damageSinceNak;
        const QByteArray bytes = m_transport.read(watchGap ? qMin(m_gapMs, kPollMs) : kPollMs);
        if (!bytes.isEmpty()) {
            // The line was quiet before these came, even if no read came back empty meanwhile (the
            // last request was still being answered): what was unfinished is cut short, and a raw
            // line may begin here.
            if (m_decoder.needsIdle() && quiet.hasExpired(m_gapMs))
                process(m_decoder.lineIdle());
            quiet.start();
            process(m_decoder.feed(bytes));
            continue;
        }
        if (!m_transport.isOpen())
            break;
        if (m_exchangeOpen && quiet.hasExpired(kExchangeQuietMs))
            setExchangeOpen(false);
        if (watchGap) {
            process(m_decoder.lineIdle());
            // The rest of a damaged frame has passed; the sender may now send it again.
            if (m_nakWhenQuiet) {
                m_nakWhenQuiet = false;
                if (m_quietNakInWindow)
                    sendWindowNak();
                else
                    sendNak();
            } else if (m_damageSinceNak) {
                // The request asked for was lost again. Asking once more only now, with the line
                // quiet, lets the reader drop a frame that a start marker inside damaged data opened:
                // that frame would swallow a repeat sent into it, and the same one every time.
                m_windowNakSent = false;
                sendWindowNak();
            }
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
            restartWindow();
            endPack();
            setExchangeOpen(false);
            m_handler.handleRawLine(event.line);
            break;
        case FrameDecoder::Event::Type::Damaged:
            ++m_damaged;
            damageSeen(event);
            break;
        case FrameDecoder::Event::Type::Frame:
            ++m_framesReceived;
            if (event.frame.kind == FrameKind::Command || event.frame.kind == FrameKind::Data) {
                m_nakWhenQuiet = false;
                restartWindow();
                answer(event.frame);
            } else if (event.frame.kind == FrameKind::WindowData) {
                if (m_window == 0) {
                    // An instrument of today does not know the kind: noise to it.
                    m_nakWhenQuiet = true;
                    m_quietNakInWindow = false;
                } else {
                    m_nakWhenQuiet = false;
                    answerWindow(event.frame);
                }
            }
            // Frames of the answering kinds can only be our own echo or noise; they are ignored.
            break;
        }
        if (m_failed)
            return;
    }
}

void LinkServer::damageSeen(const FrameDecoder::Event& event)
{
    // Damage while window requests come is answered with a window Nak naming the request expected
    // next (a start marker inside damaged data says nothing of the frame it broke); otherwise the
    // start marker of the damaged frame tells.
    const bool inWindow =
        m_window > 0 && (m_inWindow || event.damagedKind == FrameDecoder::DamagedKind::Window);
    if (inWindow && m_windowNakSent)
        m_damageSinceNak = true;
    // A whole frame with a bad check is answered at once; for anything else the rest of the frame
    // may still be on its way, and a Nak now would only cross it.
    if (event.damage == FrameDecoder::Damage::BadCrc) {
        if (inWindow)
            sendWindowNak();
        else
            sendNak();
    } else {
        m_nakWhenQuiet = true;
        m_quietNakInWindow = inWindow;
    }
}

void LinkServer::setExchangeOpen(bool open)
{
    m_exchangeOpen = open;
    m_decoder.setLinesAllowed(!open);
}

void LinkServer::noteExchange(qint32 requestType, qint32 answerType)
{
    // A block answered "more follows" (a write's block acknowledged, an answer's block with more to
    // come) leaves its exchange open; the last file block, the last answer block and a refusal end
    // it.
    setExchangeOpen(requestType != kBlockFinal && answerType == kBlockMore);
}

void LinkServer::restartWindow()
{
    m_expected = 0;
    m_windowNakSent = false;
    m_damageSinceNak = false;
    m_inWindow = false;
    m_ended = Ended::None;
    m_served.clear();
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
    const Frame reply = answerOf(request);
    if (request.kind == FrameKind::Command)
        setExchangeOpen(false);
    else
        noteExchange(request.tag, reply.tag);
    m_lastRequest = request;
    m_lastAnswer = encodeFrame(reply);
    send(m_lastAnswer);
}

// Runs a request through the handler (or answers a window request itself) and frames the answer.
Frame LinkServer::answerOf(const Frame& request)
{
    Frame reply;
    reply.seq = request.seq;
    if (request.kind == FrameKind::Command) {
        reply.kind = FrameKind::Reply;
        endPack();
        if (m_packBits > 0 && isPackRequest(request.payload)) {
            m_handler.commandAnsweredByLink();
            m_peerPackBits = packWindowOfRequest(request.payload);
            reply.payload = packReply(m_packBits);
            return reply;
        }
        if (const std::optional<int> asked = parseWindowRequest(request.payload)) {
            m_handler.commandAnsweredByLink();
            if (m_window > 0) {
                reply.payload = windowReply(qMin(*asked, m_window));
            } else {
                reply.tag = kUnknownCommand;
                reply.payload = QByteArray::number(kUnknownCommand);
            }
            return reply;
        }
    } else {
        reply.kind = request.kind == FrameKind::WindowData ? FrameKind::WindowBlock : FrameKind::Block;
    }

    Request req;
    req.kind = request.kind == FrameKind::Command ? Request::Kind::Command : Request::Kind::Data;
    req.blockType = request.tag;
    req.payload = request.payload;
    std::optional<Answer> packed;
    if (req.kind == Request::Kind::Data)
        packed = answerPacked(req.blockType, req.payload);
    const Answer ans = packed ? *packed : m_handler.handle(req);

    if (req.kind == Request::Kind::Command) {
        reply.tag = ans.kind == Answer::Kind::Reply ? ans.code : kBlockRefused;
        if (ans.kind == Answer::Kind::Reply)
            reply.payload = ans.payload.left(kMaxReplyText);
    } else {
        reply.tag = kBlockRefused;
        if (ans.kind == Answer::Kind::Block && ans.code >= 0 && ans.code <= 255 &&
            ans.payload.size() <= kMaxPayload) {
            reply.tag = ans.code;
            reply.payload = ans.payload;
        }
    }
    return reply;
}

void LinkServer::answerWindow(const Frame& request)
{
    m_inWindow = true;
    // A plain request after this one is never a repetition of the one before the window.
    m_lastRequest.reset();
    const int ahead = (request.seq - m_expected + kWindowSeqModulo) % kWindowSeqModulo;
    if (ahead != 0) {
        if (ahead >= kWindowSeqModulo - m_window) {
            // From behind: its answer was lost, or a repeat crossed it. Never carried out again.
            for (const Served& served : m_served) {
                if (served.request == request) {
                    ++m_duplicates;
                    send(served.answer);
                    return;
                }
            }
            return; // not the request we answered under that number: nothing to say to it
        }
        // From ahead: the request expected next was lost; nothing is taken out of order. A number
        // from ahead seen again since the Nak means the program went back for it and it was lost
        // again: it is asked for once more, once the line is quiet.
        if (m_windowNakSent && ahead <= m_furthestAhead)
            m_damageSinceNak = true;
        sendWindowNak();
        m_furthestAhead = qMax(m_furthestAhead, ahead);
        return;
    }

    const qint32 type = request.tag;
    const bool opensAnswer = type == kBlockCommand || type == kBlockPackedCommand;
    const bool isUploadBlock = type == kBlockMore || type == kBlockFinal || type == kBlockPackedWrite;
    Frame reply;
    if ((type == kBlockNext && m_ended == Ended::Answer) || (isUploadBlock && m_ended == Ended::Upload)) {
        ++m_refusedAfterEnd;
        reply.kind = FrameKind::WindowBlock;
        reply.seq = request.seq;
        reply.tag = kBlockRefused;
    } else {
        if (opensAnswer || type == kBlockPackedWrite || (isUploadBlock && m_ended == Ended::Answer))
            m_ended = Ended::None;
        reply = answerOf(request);
        if ((opensAnswer || type == kBlockNext) && reply.tag != kBlockMore)
            m_ended = Ended::Answer;
        else if (isUploadBlock && reply.tag == kBlockRefused)
            m_ended = Ended::Upload;
    }
    noteExchange(type, reply.tag);
    const QByteArray wire = encodeFrame(reply);
    m_served.push_back({request, wire});
    while (m_served.size() > static_cast<size_t>(m_window))
        m_served.pop_front();
    m_expected = static_cast<quint8>((m_expected + 1) % kWindowSeqModulo);
    m_windowNakSent = false;
    m_damageSinceNak = false;
    send(wire);
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

void LinkServer::sendWindowNak()
{
    m_nakWhenQuiet = false;
    // Once for each loss: the requests that were in flight behind the lost one would each send the
    // program back again.
    if (m_windowNakSent)
        return;
    m_windowNakSent = true;
    m_damageSinceNak = false;
    m_furthestAhead = 0;
    Frame nak;
    nak.kind = FrameKind::WindowNak;
    nak.seq = m_expected;
    ++m_naksSent;
    send(encodeFrame(nak));
}

} // namespace orvalt::link
