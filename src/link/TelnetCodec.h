#pragma once

#include <QByteArray>
#include <QList>
#include <array>

namespace orvalt::link {

// The Telnet side of a connection to a serial device server that speaks RFC 2217 (RFC 854 the
// protocol, 855 option negotiation, 856 binary transmission, 2217 the COM port option). Pure logic:
// it is handed what came from the server and says what is data for the link, what to answer and
// what the server told of the port; the transport reads and writes.
//
// This end (the client) wants BINARY both ways and offers COM-PORT-OPTION; it lets the server
// suppress go-ahead and suppresses its own, and refuses every other option (ECHO above all, which
// would hand our own bytes back as the instrument's). Negotiation follows RFC 1143's rules, so a
// request that confirms the state in force is never answered and no loop can start. Commands other
// than negotiation and subnegotiation (NOP, Data Mark, Are You There, ...) carry nothing for a
// serial line and are dropped; no Telnet command ever reaches the data. Of the server's COM port
// subnegotiations the answers to this end's commands are kept; its notices (line and modem state,
// flow control suspend and resume) are passed on too and left unused: the link paces itself by its
// window, and a server that holds data back holds back the answers with it.
class TelnetCodec
{
public:
    // Telnet's own bytes (RFC 854) and the options this end knows.
    static constexpr quint8 kIac = 255;
    static constexpr quint8 kDont = 254;
    static constexpr quint8 kDo = 253;
    static constexpr quint8 kWont = 252;
    static constexpr quint8 kWill = 251;
    static constexpr quint8 kSb = 250;
    static constexpr quint8 kSe = 240;
    static constexpr quint8 kBinary = 0;
    static constexpr quint8 kSuppressGoAhead = 3;
    static constexpr quint8 kComPort = 44;
    // A server's answer to a COM port command is the command plus this (RFC 2217).
    static constexpr quint8 kServerOffset = 100;
    // The longest subnegotiation kept; a longer one (none of RFC 2217's is, bar a signature) is
    // dropped whole.
    static constexpr int kMaxSubnegotiation = 64;

    // The COM port commands this end sends (RFC 2217, client to server).
    enum ComPortCommand : quint8
    {
        SetBaudRate = 1,
        SetDataSize = 2,
        SetParity = 3,
        SetStopSize = 4,
        SetControl = 5,
    };

    // What the server answered to a COM port command: the command (its own number minus 100) and
    // the value it now has.
    struct ComPortAnswer
    {
        quint8 command = 0;
        QByteArray value;
    };

    // Where an option stands on one side (RFC 1143): not in force, in force, or asked for and not yet
    // answered.
    enum class OptionState : quint8
    {
        No,
        Yes,
        WantNo,
        WantYes
    };

    // The requests that open the negotiation: WILL and DO BINARY, WILL COM-PORT-OPTION.
    QByteArray start();
    // Takes bytes from the server and returns the data among them; answers to send are collected
    // for takeReplies(), the server's COM port answers for takeAnswers().
    QByteArray receive(const QByteArray& bytes);
    QByteArray takeReplies();
    QList<ComPortAnswer> takeAnswers();

    OptionState ours(quint8 option) const { return m_us[option]; }
    OptionState theirs(quint8 option) const { return m_him[option]; }
    // The server agreed: binary data both ways, line settings through the COM port option.
    bool binaryBothWays() const
    {
        return m_us[kBinary] == OptionState::Yes && m_him[kBinary] == OptionState::Yes;
    }
    bool comPortAgreed() const { return m_us[kComPort] == OptionState::Yes; }
    // The server refused an option this end cannot do without.
    bool refused() const { return m_refused; }
    // Subnegotiations dropped because they were longer than kMaxSubnegotiation.
    int droppedSubnegotiations() const { return m_dropped; }

    // Data as it goes to the server: every 0xFF doubled.
    static QByteArray escape(const QByteArray& data);
    // One COM port command with its value, framed and escaped.
    static QByteArray comPortCommand(quint8 command, const QByteArray& value);

private:
    enum class Parse : quint8
    {
        Data,
        Command,    // after IAC
        Option,     // after IAC and a negotiation verb
        Sub,        // inside a subnegotiation
        SubCommand, // after IAC inside a subnegotiation
    };

    void negotiate(quint8 verb, quint8 option);
    void request(quint8 verb, quint8 option);
    void subnegotiation();
    bool wantOurs(quint8 option) const;
    bool wantTheirs(quint8 option) const;

    Parse m_parse = Parse::Data;
    quint8 m_verb = 0;
    QByteArray m_sub;
    bool m_subTooLong = false;
    int m_dropped = 0;
    bool m_refused = false;
    std::array<OptionState, 256> m_us{};
    std::array<OptionState, 256> m_him{};
    QByteArray m_replies;
    QList<ComPortAnswer> m_answers;
};

} // namespace orvalt::link
