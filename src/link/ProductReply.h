#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace orvalt {

// What the instrument's "PRODUCT?" reply says: "PRODUCT:" and the model, then the names of its media,
// comma-separated, in a reply buffer filled with spaces. The reply is untrusted: it decides only
// what goes into the settings file and the selectors, so nothing in it may break a line there.
struct ProductReply
{
    static constexpr int kMaxMedia = 64; // a reply could name media without end; the selectors stop here

    // The first field without its first eight characters and without the buffer's blank fill;
    // empty when the field is too short or holds a control character.
    QString model;
    // The fields after it, up to the first empty one, one that begins with a space (the blank fill
    // ends the list this way) or one that holds a control character; at most kMaxMedia.
    QStringList media;
};

// Reads a reply buffer (each byte one Latin-1 character).
ProductReply parseProductReply(const QByteArray& reply);

// Whether a model belongs to the RZ family (its name begins with "RZ", case counts).
bool isRzFamily(const QString& model);

} // namespace orvalt
