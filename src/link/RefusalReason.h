#pragma once

#include <QByteArray>

namespace orvalt::link {

// Why the instrument refused a request. A refusal block (type 9) carries the reason's decimal digits
// as its whole payload; a reply with a non-zero result carries them after the result code and a
// comma ("20,1"). An instrument that gives no reason sends an empty refusal block and the code alone
// ("20"), and the program then tells only what it told before reasons existed.
enum class RefusalReason
{
    None = 0,
    NotFound = 1,      // the file or folder named is not there
    MediumFull = 2,    // no room left on the medium
    NameRefused = 3,   // the name breaks the medium's name rules
    AlreadyExists = 4, // an entry of that name is there already
    NoSuchMedium = 5   // the medium code names no medium of this instrument
};

// The payload of a refusal block for reason (empty for None).
QByteArray refusalPayload(RefusalReason reason);
// The reason a refusal block's payload gives; None for an empty, malformed or unknown one.
RefusalReason refusalOfBlock(const QByteArray& payload);
// The reason the text of a refusing reply gives after its code ("20,1"); None without one.
RefusalReason refusalOfReply(const QByteArray& text);

} // namespace orvalt::link
