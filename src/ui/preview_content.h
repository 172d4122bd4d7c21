// What the preview pane shows of one entry, made off the window's thread: the entry's first
// bytes are read from the archive only as far as its kind needs, and turned into text, the
// rows of a string table, an image or a hex view.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <string>

#include "support/bytes.h"

// Which entry to show, and the number that tells its result from those of earlier selections.
struct TPreviewJob {
    uint64_t generation = 0;
    bool bigEndian = false;
    std::string archivePath;
    std::string entryPath;
};

enum class TPreviewKind { Message, Text, LocRows, Image, Hex };

struct TPreviewContent {
    uint64_t generation = 0;
    TPreviewKind kind = TPreviewKind::Message;
    QString header;   // path, size, packed size, ratio, hash tag ("" when the entry did not read)
    QString note;     // what the view leaves out, or why there is nothing to show (Message)
    QString text;     // Text and Hex
    QStringList rows; // LocRows: each string as extraction's text form writes it
    bool rowsUtf8 = false;  // the rows' bytes were UTF-8 (else Windows-1252)
    QImage image;
    // The entry as the archive names it, for saving an edited table back.
    std::string archivePath;
    std::string entryPath;
    bool bigEndian = false;
};

// How far a preview reads.
inline constexpr int64_t kPreviewProbeBytes = 64 * 1024;  // enough to tell what an entry is
inline constexpr int64_t kPreviewHexBytes = 64 * 1024;
inline constexpr int64_t kPreviewTextBytes = 2 * 1024 * 1024;
inline constexpr int64_t kPreviewImageBytes = 16 * 1024 * 1024;
inline constexpr int64_t kPreviewTableBytes = 16 * 1024 * 1024;

// Reads the entry and makes what the pane shows; gives up soon once stop is set (the result
// is then of no use). Never raises: a failure is a Message.
TPreviewContent MakePreview(const TPreviewJob& job, const std::atomic<bool>& stop);

// The parts, for the pane and its tests.
// UTF-16 with a byte-order mark, else UTF-8 (a sequence cut off at the end of a head that
// is not whole is left out), else Windows-1252 as names are shown.
QString DecodePreviewText(const TArrayOfByte& bytes, bool whole);
// True for bytes that read as text: a UTF-16 mark, or no NUL and few other control bytes.
bool LooksLikeText(const TArrayOfByte& bytes);
// Lines of an offset (8 hex digits), 16 bytes in hex and the same bytes as text.
QString HexView(const TArrayOfByte& bytes);
// A string table's strings as extraction's text form writes them, one a row; false with
// why in problem when the table does not convert.
bool LocTableRows(const TArrayOfByte& table, bool bigEndian, QStringList& rows, bool& utf8, QString& problem);
// The table's text form of rows, as bytes in the encoding the rows came in: each row ends in
// CR LF, and a raw control byte typed into a row is written as its escape, so that every row
// stays one string. False with why in problem for a character the encoding lacks.
bool LocRowsText(const QStringList& rows, bool utf8, std::string& text, QString& problem);
