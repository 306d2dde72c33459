#include "link/TelnetCodec.h"

namespace orvalt::link {

namespace {

QByteArray command(quint8 verb, quint8 option)
{
    QByteArray bytes(3, '\0');
    bytes[0] = static_cast<char>(TelnetCodec::kIac);
    bytes[1] = static_cast<char>(verb);
    bytes[2] = static_cast<char>(option);
    return bytes;
}

} // namespace

bool TelnetCodec::wantOurs(quint8 option) const
{
    return option == kBinary || option == kComPort || option == kSuppressGoAhead;
}

bool TelnetCodec::wantTheirs(quint8 option) const
{
    return option == kBinary || option == kSuppressGoAhead;
}

QByteArray TelnetCodec::start()
{
    request(kWill, kBinary);
    request(kDo, kBinary);
    request(kWill, kComPort);
    return takeReplies();
}

void TelnetCodec::request(quint8 verb, quint8 option)
{
    OptionState& state = verb == kWill || verb == kWont ? m_us[option] : m_him[option];
    const bool enable = verb == kWill || verb == kDo;
    if ((enable && state != OptionState::No) || (!enable && state != OptionState::Yes))
        return; // already there, or asked: asking again could start a loop
    state = enable ? OptionState::WantYes : OptionState::WantNo;
    m_replies += command(verb, option);
}

// RFC 1143's rules for one received WILL, WONT, DO or DONT.
void TelnetCodec::negotiate(quint8 verb, quint8 option)
{
    const bool aboutUs = verb == kDo || verb == kDont;
    OptionState& state = aboutUs ? m_us[option] : m_him[option];
    const bool wanted = aboutUs ? wantOurs(option) : wantTheirs(option);
    const quint8 agree = aboutUs ? kWill : kDo;
    const quint8 decline = aboutUs ? kWont : kDont;
    const bool enable = verb == kWill || verb == kDo;
    if (enable) {
        switch (state) {
        case OptionState::No:
            state = wanted ? OptionState::Yes : OptionState::No;
            m_replies += command(wanted ? agree : decline, option);
            break;
        case OptionState::Yes:
            break;
        case OptionState::WantNo: // a refusal of our WONT/DONT: taken as the option off
            state = OptionState::No;
            break;
        case OptionState::WantYes:
            state = OptionState::Yes;
            break;
        }
        return;
    }
    switch (state) {
    case OptionState::No:
        break;
    case OptionState::Yes:
        state = OptionState::No;
        m_replies += command(decline, option);
        if (wanted && (option == kBinary || option == kComPort))
            m_refused = true;
        break;
    case OptionState::WantNo:
        state = OptionState::No;
        break;
    case OptionState::WantYes:
        state = OptionState::No;
        if (option == kBinary || option == kComPort)
            m_refused = true;
        break;
    }
}

void TelnetCodec::subnegotiation()
{
    if (m_subTooLong) {
        ++m_dropped;
    } else if (m_sub.size() >= 2 && static_cast<quint8>(m_sub.at(0)) == kComPort &&
               static_cast<quint8>(m_sub.at(1)) >= kServerOffset) {
        m_answers.append(
            {static_cast<quint8>(static_cast<quint8>(m_sub.at(1)) - kServerOffset), m_sub.mid(2)});
    }
    // Any other subnegotiation is of an option not in force here: nothing to do with it.
    m_sub.clear();
    m_subTooLong = false;
}

QByteArray TelnetCodec::receive(const QByteArray& bytes)
{
    QByteArray data;
    data.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<quint8>(c);
        switch (m_parse) {
        case Parse::Data:
            if (b == kIac)
                m_parse = Parse::Command;
            else
                data.append(c);
            break;
        case Parse::Command:
            if (b == kIac) {
                data.append(c); // a doubled 0xFF is one data byte
                m_parse = Parse::Data;
            } else if (b >= kWill && b <= kDont) {
                m_verb = b;
                m_parse = Parse::Option;
            } else if (b == kSb) {
                m_sub.clear();
                m_subTooLong = false;
                m_parse = Parse::Sub;
            } else {
                // NOP, Data Mark, Break, Are You There, Go Ahead and the like, or a stray SE:
                // nothing a serial line has.
                m_parse = Parse::Data;
            }
            break;
        case Parse::Option:
            negotiate(m_verb, b);
            m_parse = Parse::Data;
            break;
        case Parse::Sub:
            if (b == kIac) {
                m_parse = Parse::SubCommand;
            } else if (m_sub.size() < kMaxSubnegotiation) {
                m_sub.append(c);
            } else {
                m_subTooLong = true;
            }
            break;
        case Parse::SubCommand:
            if (b == kIac) {
                if (m_sub.size() < kMaxSubnegotiation)
                    m_sub.append(c);
                else
                    m_subTooLong = true;
                m_parse = Parse::Sub;
            } else if (b == kSe) {
                subnegotiation();
                m_parse = Parse::Data;
            } else {
                // IAC and anything else ends a subnegotiation that was never closed: it is dropped,
                // and the byte is read as the command it is.
                ++m_dropped;
                m_sub.clear();
                m_subTooLong = false;
                m_parse = Parse::Command;
                data += receive(QByteArray(1, c));
            }
            break;
        }
    }
    return data;
}

QByteArray TelnetCodec::takeReplies()
{
    QByteArray replies;
    replies.swap(m_replies);
    return replies;
}

QList<TelnetCodec::ComPortAnswer> TelnetCodec::takeAnswers()
{
    QList<ComPortAnswer> answers;
    answers.swap(m_answers);
    return answers;
}

QByteArray TelnetCodec::escape(const QByteArray& data)
{
    if (!data.contains(static_cast<char>(kIac)))
        return data;
    QByteArray out;
    out.reserve(data.size() + data.size() / 8 + 1);
    for (const char c : data) {
        out.append(c);
        if (static_cast<quint8>(c) == kIac)
            out.append(c);
    }
    return out;
}

QByteArray TelnetCodec::comPortCommand(quint8 command, const QByteArray& value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(kIac));
    bytes.append(static_cast<char>(kSb));
    bytes.append(static_cast<char>(kComPort));
    bytes.append(static_cast<char>(command));
    bytes += escape(value);
    bytes.append(static_cast<char>(kIac));
    bytes.append(static_cast<char>(kSe));
    return bytes;
}

} // namespace orvalt::link
