#include "engine/checking/entry_content.h"

#include <algorithm>
#include <limits>

#include "engine/reading/archive_entries.h"
#include "engine/format/internal/archive_format.h"
#include "engine/format/internal/entry_key.h"
#include "engine/format/internal/loc_convert.h"
#include "support/display_text.h"
#include "support/errors.h"
#include "support/host_entries.h"
#include "support/host_file.h"
#include "support/zlib_adapter.h"

namespace {

std::string DamageText(const TArchiveLook& look, const TArchiveEntry& entry, int64_t contentByte,
                       const std::string& reason) {
    return "Damaged stream of entry \"" + ArchivePathForUser(look.Index().PathOf(entry)) + "\" in \"" + look.Path() +
           "\": the content breaks off at byte " + std::to_string(contentByte) + ": " + reason;
}

// Why a stream cannot even be read: "" when its record places it inside the data area.
std::string PlacementProblem(const TArchiveLook& look, const TArchiveEntry& entry) {
    if (entry.packedSize <= 0 || entry.unpackedSize < 0) return "its record holds an impossible size";
    if (entry.dataOffset < 0 || entry.streamStart + entry.packedSize > look.FileSize())
        return "its stream lies outside the archive";
    return "";
}

// What went wrong with an inflation that ended as it did; "" when the content is whole.
std::string BreakReason(const TArchiveEntry& entry, const TStreamInflation& inflation) {
    const std::string recorded = std::to_string(entry.unpackedSize);
    switch (inflation.end) {
        case TStreamEnd::Damaged:
            return "the stream is damaged at its byte " + std::to_string(inflation.consumed);
        case TStreamEnd::CutShort:
            return "the stream does not end within its " + std::to_string(entry.packedSize) + " packed bytes";
        case TStreamEnd::OverLimit:
            return "the stream goes on past the " + recorded + " bytes its record gives";
        case TStreamEnd::Complete:
            if (inflation.produced < entry.unpackedSize)
                return "the stream ends there, short of the " + recorded + " bytes its record gives";
            return "";
    }
    return "";
}

// Inflates the entry's stream into sink, raising what BreakReason finds.
void InflateEntry(TArchiveLook& look, const TArchiveEntry& entry, const TByteSink& sink) {
    const std::string problem = PlacementProblem(look, entry);
    if (!problem.empty()) throw EDecompressionError(DamageText(look, entry, 0, problem));

    HostFile& archive = look.File();
    archive.Seek(entry.streamStart);
    int64_t remaining = entry.packedSize;
    const TByteSource source = [&](uint8_t* buffer, int64_t capacity) {
        const int64_t got = archive.Read(buffer, std::min(capacity, remaining));
        remaining -= got;
        return got;
    };
    const TStreamInflation inflation = InflateStream(source, sink, entry.unpackedSize);
    const std::string reason = BreakReason(entry, inflation);
    if (!reason.empty()) throw EDecompressionError(DamageText(look, entry, inflation.produced, reason));
}

// A .loc table as text needs the whole table at once; it grows only with what the stream
// gives, and the record's size, which bounds it, is itself bounded by what the packed bytes
// can inflate to, as in extraction.
bool WriteLocAsText(TArchiveLook& look, const TArchiveEntry& entry, const TEntryContentRequest& request) {
    TArrayOfByte table;
    InflateEntry(look, entry, [&](const uint8_t* data, int64_t count) {
        table.insert(table.end(), data, data + count);
    });
    if (!table.empty() && !LocToText(request.bigEndian, table)) {
        const std::string path = look.Index().PathOf(entry);
        Notify(request.notices, path,
               NoticeText("cannot convert", ArchivePathForUser(path),
                          "its string table does not convert to text (damaged, or the text would be far larger "
                          "than the table)"));
        return false;
    }
    if (!table.empty()) request.sink(table.data(), BufferLength(table));
    return true;
}

}  // namespace

// The entry of the listed archive that entryPath names; null, told in notices, when none does.
static const TArchiveEntry* NamedEntry(const TArchiveLook& look, const std::string& entryPath, TNotices* notices) {
    const TEntryMatch match = FindEntry(look.Index(), entryPath, false);
    if (match.Ambiguous()) {
        Notify(notices, entryPath,
               NoticeText("cannot show", ArchivePathForUser(entryPath), AmbiguityReason(look.Index(), match, false)));
        return nullptr;
    }
    if (!match.Found()) {
        Notify(notices, entryPath,
               NoticeText("cannot show", ArchivePathForUser(entryPath),
                          "the archive \"" + look.Path() + "\" holds no such file"));
        return nullptr;
    }
    return &look.Entries()[static_cast<size_t>(match.entry)];
}

static bool WriteContent(const TEntryContentRequest& request) {
    const TProgressScope scope(request.progress);
    TArchiveLook look(request.bigEndian, request.archivePath, request.notices);
    if (!look.Listed()) return false;
    const TArchiveEntry* named = NamedEntry(look, request.entryPath, request.notices);
    if (named == nullptr) return false;
    const TArchiveEntry& entry = *named;
    if (request.locAsText && IsLocFileName(std::string(look.Index().Name(entry)))) return WriteLocAsText(look, entry, request);
    InflateEntry(look, entry, request.sink);
    return true;
}

TEntryContentResult WriteEntryContent(const TEntryContentRequest& request) {
    TEntryContentResult result;
    TEntryContentRequest counting = request;
    counting.sink = [&result, &sink = request.sink](const uint8_t* data, int64_t count) {
        sink(data, count);
        result.bytesWritten += count;
    };
    const bool ok = WriteContent(counting);
    result.ok = ok;
    return result;
}

namespace {

// How a head read leaves the stream early: enough bytes are in, or the caller asked to stop.
struct THeadEnough {};
struct THeadStopped {};

bool StopAsked(const TEntryHeadRequest& request) {
    return request.stop != nullptr && request.stop->load(std::memory_order_relaxed);
}

// Inflates the entry's stream into result.bytes until the cap, the stream's end, a break or a stop.
void InflateHead(TArchiveLook& look, const TArchiveEntry& entry, const TEntryHeadRequest& request,
                 TEntryHeadResult& result) {
    const std::string problem = PlacementProblem(look, entry);
    if (!problem.empty()) {
        result.damage = DamageText(look, entry, 0, problem);
        return;
    }
    HostFile& archive = look.File();
    archive.Seek(entry.streamStart);
    int64_t remaining = entry.packedSize;
    const TByteSource source = [&](uint8_t* buffer, int64_t capacity) {
        if (StopAsked(request)) throw THeadStopped{};
        const int64_t got = archive.Read(buffer, std::min(capacity, remaining));
        remaining -= got;
        return got;
    };
    int64_t cap = std::max<int64_t>(request.byteCap, 0);
    bool probed = !request.capAfterProbe || request.probeBytes <= 0;
    TArrayOfByte& bytes = result.bytes;
    const TByteSink sink = [&](const uint8_t* data, int64_t count) {
        if (StopAsked(request)) throw THeadStopped{};
        for (;;) {
            const int64_t limit = probed ? cap : request.probeBytes;
            const int64_t take = std::min<int64_t>(count, limit - BufferLength(bytes));
            if (take > 0) bytes.insert(bytes.end(), data, data + take);
            data += std::max<int64_t>(take, 0);
            count -= std::max<int64_t>(take, 0);
            if (!probed && BufferLength(bytes) >= request.probeBytes) {
                probed = true;
                cap = std::max<int64_t>(request.capAfterProbe(bytes), 0);
                continue;
            }
            // More content than wanted: the rest is not inflated.
            if (count > 0) throw THeadEnough{};
            return;
        }
    };
    try {
        const TStreamInflation inflation = InflateStream(source, sink, entry.unpackedSize);
        const std::string reason = BreakReason(entry, inflation);
        if (!reason.empty()) result.damage = DamageText(look, entry, inflation.produced, reason);
        else result.whole = true;
    } catch (const THeadEnough&) {
        // The content goes on past what was wanted; whether its rest is sound is not looked at.
    } catch (const THeadStopped&) {
        result.stopped = true;
    }
}

}  // namespace

TEntryHeadResult ReadEntryHead(const TEntryHeadRequest& request) {
    TEntryHeadResult result;
    if (StopAsked(request)) {
        result.stopped = true;
        return result;
    }
    TArchiveLook look(request.bigEndian, request.archivePath, request.notices);
    if (!look.Listed()) return result;
    const TArchiveEntry* entry = NamedEntry(look, request.entryPath, request.notices);
    if (entry == nullptr) return result;
    result.found = true;
    result.entryPath = look.Index().PathOf(*entry);
    result.packedSize = entry->packedSize;
    result.unpackedSize = entry->unpackedSize;
    InflateHead(look, *entry, request, result);
    return result;
}
