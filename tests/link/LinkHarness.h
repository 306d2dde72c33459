#pragma once

#include "link/LinkServer.h"
#include "link/PexLink.h"
#include "support/PipeTransport.h"

#include <QMutex>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace orvalt::test {

// A request handler that records what reached it. By default a command is answered with code 0 and
// "OK " plus the command, a block with an empty acknowledgement of type 0.
class RecordingHandler : public link::RequestHandler
{
public:
    std::function<link::Answer(const link::Request&)> respond;

    link::Answer handle(const link::Request& request) override
    {
        {
            QMutexLocker lock(&m_mutex);
            m_requests.append(request);
        }
        if (respond)
            return respond(request);
        link::Answer answer;
        if (request.kind == link::Request::Kind::Command) {
            answer.kind = link::Answer::Kind::Reply;
            answer.payload = "OK " + request.payload;
        } else {
            answer.kind = link::Answer::Kind::Block;
        }
        return answer;
    }
    void handleRawLine(const QByteArray& line) override
    {
        QMutexLocker lock(&m_mutex);
        m_lines.append(line);
    }
    QList<link::Request> requests() const
    {
        QMutexLocker lock(&m_mutex);
        return m_requests;
    }
    QList<QByteArray> lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }

private:
    mutable QMutex m_mutex;
    QList<link::Request> m_requests;
    QList<QByteArray> m_lines;
};

// PexLink and a LinkServer on its own thread, joined by an in-process pipe. Faults are set on
// `hostEnd` (what the program writes) or `instrumentEnd` (what the instrument writes) before start().
struct LinkHarness
{
    LinkHarness()
    {
        auto pair = PipeTransport::createPair();
        hostEnd = std::move(pair.first);
        instrumentEnd = std::move(pair.second);
        server = std::make_unique<link::LinkServer>(*instrumentEnd, handler);
        link.attach(*hostEnd);
        link.PexRetry(1);
        link.PexSetTimeOut(3000);
    }
    ~LinkHarness() { stopServer(); }

    void start()
    {
        thread = std::thread([this] { server->serve(stop); });
    }
    void stopServer()
    {
        stop = true;
        if (thread.joinable())
            thread.join();
    }

    RecordingHandler handler;
    std::unique_ptr<PipeTransport> hostEnd;
    std::unique_ptr<PipeTransport> instrumentEnd;
    std::unique_ptr<link::LinkServer> server;
    link::PexLink link;
    std::atomic<bool> stop{false};
    std::thread thread;
};

// Wire sizes of frames, for aiming a fault at one of them.
constexpr int kFullBlockFrame = 256 + 4; // a 256-byte block of type 0 .. 6
constexpr int kEmptyBlockFrame = 4;      // an acknowledgement, a request for the next block
constexpr int kCommandOverhead = 5;      // MARK CTL LEN ... CRC CRC

} // namespace orvalt::test
