#pragma once

#include "MediaNamePolicy.h"
#include "MediaStore.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <memory>
#include <optional>

namespace orvalt::instrument {

// Result codes of the instrument's commands.
constexpr qint32 kResultOk = 0;
constexpr qint32 kResultFormat = 20; // command format error, and every argument the instrument refuses
constexpr qint32 kResultBusy = 60;
constexpr qint32 kResultMedium = 160;   // unknown medium, or a medium that is full or cannot be written
constexpr qint32 kResultTransfer = 100; // a file write that ended before all its bytes had arrived

// The "DIR?" listing of a folder: a header field, then per entry its name (a folder's followed by
// "/"), size in bytes, date (yyyy/MM/dd), time (HH:mm:ss) and kind ("DIR" or "FILE"), all separated
// by commas. ".." comes first in every folder but the root, then the folders, then the files, each
// by name. Only the entries a medium holds are listed (servedEntries): a comma in a name would
// break the listing's fields. Nothing when the folder cannot be read. A file named undated is listed
// with a date and time that read as none.
std::optional<QByteArray> directoryListing(const Location& folder, const MediaNamePolicy& policy,
                                           const QString& undated = QString());

// Copies a file or a whole folder. An existing target file is replaced only once the copy is
// complete; a folder copy merges into an existing folder, where a name stands for the entry that
// differs from it only in case.
bool copyFileReplacing(const QString& source, const QString& target);
bool copyTree(const QString& source, const QString& target, const MediaNamePolicy& policy);

// Removes a file or a folder with everything in it; symbolic links are removed, never followed.
bool removeEntry(const QString& path);
// Removes everything inside a folder but the folder itself.
bool emptyFolder(const QString& folder);

// One "FWT " upload: the announced length, then the data, into a temporary file that takes the
// target's name only when the last block has arrived and the byte count matches. Destroying an
// unfinished upload discards the temporary file.
class FileUpload
{
public:
    explicit FileUpload(const QString& target);

    // The 4-byte big-endian length. Returns a result code.
    qint32 takeLength(const QByteArray& header);
    // A data block; the last one completes the file. Returns a result code.
    qint32 takeBlock(const QByteArray& data, bool last);

    bool hasLength() const { return m_hasLength; }
    bool isComplete() const { return m_complete; }
    qint64 received() const { return m_received; }

private:
    QSaveFile m_file;
    bool m_hasLength = false;
    bool m_complete = false;
    quint32 m_announced = 0;
    qint64 m_received = 0;
};

// An answer sent in blocks: the "DIR?" listing or a "FRD? " file.
class BlockSource
{
public:
    virtual ~BlockSource() = default;
    // The next block; last tells whether it ends the answer. False when the answer cannot go on.
    virtual bool next(QByteArray* block, bool* last) = 0;
};

class TextBlocks : public BlockSource
{
public:
    TextBlocks(QByteArray text, int blockSize);
    bool next(QByteArray* block, bool* last) override;

private:
    QByteArray m_text;
    int m_blockSize;
    qsizetype m_offset = 0;
};

// A file read block by block: the first block begins with the 4-byte big-endian length.
class FileBlocks : public BlockSource
{
public:
    static constexpr int kBlockSize = 256;
    // Nothing when the path is no regular file or cannot be read, or the file does not fit the
    // 4-byte length.
    static std::unique_ptr<FileBlocks> open(const QString& path);
    bool next(QByteArray* block, bool* last) override;

private:
    QFile m_file;
    qint64 m_size = 0;
    qint64 m_sent = 0;
    bool m_first = true;
};

} // namespace orvalt::instrument
