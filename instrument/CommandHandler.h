#pragma once

#include "InstrumentOptions.h"
#include "MediaFiles.h"
#include "MediaStore.h"
#include "Transcript.h"
#include "link/BlockKinds.h"
#include "link/LinkServer.h"
#include "link/RefusalReason.h"

#include <memory>

namespace orvalt::instrument {

// The instrument itself: carries out each command and block exchange on the media.
//
// State: the current medium (the first one at start) and its current folder; the answer being sent
// in blocks ("DIR?", "FRD? "); the upload under way ("FWT "). A command ends a block exchange left
// unfinished. "DUMMY", which follows every upload, reports how the last upload ended: 0 when it was
// stored, else the code of its refusal (20 a name or folder refused, 160 medium unknown or full,
// 100 fewer or more bytes than announced), so that a refused upload never reads as success.
// A refusal names its reason (docs/link-protocol.md): after the code in a reply ("20,1"), as the
// payload of a refusal block.
class CommandHandler : public link::RequestHandler
{
public:
    static constexpr int kListingBlock = 301;

    CommandHandler(const InstrumentOptions& options, const MediaStore& store, Transcript& transcript);

    link::Answer handle(const link::Request& request) override;
    void handleRawLine(const QByteArray& line) override;
    void commandAnsweredByLink() override { endExchanges(); }
    void packedBlock(qint32 type, const QByteArray& packed) override
    {
        m_transcript.packedBlock(type, packed);
    }

    // The "PRODUCT?" reply: an eight-character field name, the model, then the medium names.
    QByteArray productReply() const;

    const Medium* currentMedium() const { return m_medium; }
    const QStringList& currentFolder() const { return m_folder; }
    bool fileCopyMode() const { return m_fileCopyMode; }

private:
    link::Answer command(const QByteArray& text);
    link::Answer block(qint32 type, const QByteArray& payload);
    qint32 run(const QString& verb, const QString& arguments, bool hasArguments, QByteArray* reply);

    qint32 selectMedium(const QString& code);
    qint32 changeFolder(const QString& path);
    qint32 copy(const QString& arguments);
    qint32 move(const QString& arguments);
    qint32 deleteEntry(const QString& path);
    qint32 makeFolder(const QString& path);
    qint32 format(const QString& code);

    link::Answer startAnswer(const QString& text);
    link::Answer nextAnswerBlock();
    link::Answer upload(qint32 type, const QByteArray& payload);
    qint32 startUpload(const QString& arguments);
    void endUpload(qint32 outcome, link::RefusalReason reason = link::RefusalReason::None);
    // True when the last name of path breaks the medium's name rules.
    bool nameRefused(const QString& path) const;
    // Refuses with a reason: returns code and keeps the reason for the answer.
    qint32 refuse(qint32 code, link::RefusalReason reason);
    link::Answer refusedBecause(link::RefusalReason reason);
    void endExchanges();
    // --meet: leaves its mark and waits until another instrument has left one, at most kMeetMs.
    void meetTheOthers();
    static constexpr int kMeetMs = 30000;

    // A path on a medium: relative paths start from the current folder when it is that medium's.
    std::optional<Location> locate(const Medium& medium, const QString& path) const;
    // Where a new entry of this kind may be made: valid name, existing parent folder.
    bool canCreateAt(const Location& location, NameKind kind) const;
    // Keeps the current folder valid after the entry at from moved to to (to empty: removed).
    void followMove(const Location& from, const QStringList* to);

    const InstrumentOptions& m_options;
    const MediaStore& m_store;
    Transcript& m_transcript;

    const Medium* m_medium = nullptr;
    QStringList m_folder;
    std::unique_ptr<BlockSource> m_answer;
    std::unique_ptr<FileUpload> m_upload;
    qint32 m_uploadOutcome = kResultOk;
    link::RefusalReason m_uploadReason = link::RefusalReason::None;
    // Why the request in hand was refused; set by the routine that refuses it.
    link::RefusalReason m_reason = link::RefusalReason::None;
    qint64 m_commandCount = 0;
    bool m_fileCopyMode = false;
    bool m_met = false;
};

} // namespace orvalt::instrument
