#pragma once

#include <QString>

namespace orvalt::instrument {

enum class NameKind
{
    File,
    Folder
};

// The instrument's file and folder names. A name uses A-Z, a-z, 0-9 and . ! # $ & % ' ( ) ^ @ _ { }
// only; a file name is a base of 1 to 32 characters with an optional extension of 1 to 3 characters
// after the first "." (32+3), a folder name 1 to 32 characters. With short names only upper-case
// letters are allowed and the limits are 8 (8.3 and 8).
//
// Names made of dots alone, or ending in a dot, are refused whatever the mode: "." and ".." would
// leave the folder, and some hosts strip trailing dots (two names would meet in one file).
//
// Written apart from the program's name rules (src/fileops/NameRules), and named apart from them on
// purpose. These are what the instrument's media take, as an instrument judges a name it is sent;
// the program's are what it lets a user ask for, and the two differ where instruments do (the "~" of
// a short alias). Kept apart, they are a second opinion in the tests: a fault in the program's rules
// shows as a name the instrument refuses, where one shared routine would pass it on both ends.
class MediaNamePolicy
{
public:
    static constexpr int kLongBase = 32;
    static constexpr int kShortBase = 8;
    static constexpr int kExtension = 3;

    explicit MediaNamePolicy(bool shortNames)
        : m_shortNames(shortNames)
    {}

    bool shortNames() const { return m_shortNames; }

    // A name the instrument may create, of this kind.
    bool accepts(const QString& name, NameKind kind) const;
    // A name that may stand for an existing entry of either kind (used to look names up).
    bool acceptsEither(const QString& name) const
    {
        return accepts(name, NameKind::File) || accepts(name, NameKind::Folder);
    }

    static bool acceptsCharacter(QChar c, bool shortNames);

private:
    bool m_shortNames;
};

} // namespace orvalt::instrument
