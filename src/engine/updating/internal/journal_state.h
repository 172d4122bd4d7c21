// The STATE record of the rollback journal: which archive an interrupted pass may have left.
//
// While a pass runs (see update_pass.h), every byte below the smaller of the old and the new
// size holds its old value or its final one, and the file's size lies between the two. A
// STATE record keeps both sizes and, at about 256 positions spread over that range (the 8
// header bytes among them), the old and the new byte. An archive whose size or sampled bytes
// fall outside was restored, replaced or updated another way since the pass: writing the
// journal back would mix two archives.
//
// An "unknown" state holds no samples and lets any content pass: it covers a change that came
// without a pass to describe it.
//
// The journal's format is described in vpak-journal(5).
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class HostFile;

// Where a byte of the archive comes from after a pass: the byte the archive holds now at a
// position, or a byte of the pass's own.
struct TByteSource {
    bool fromArchive = false;
    int64_t position = 0;  // when fromArchive
    uint8_t value = 0;     // otherwise
};

// What a pass is going to leave in the archive: its size, and the source of every byte
// below it.
struct TPassOutcome {
    int64_t newSize = 0;
    std::function<TByteSource(int64_t)> sourceOf;
};

inline constexpr char kStateTag[4] = {'S', 'T', 'A', 'T'};

struct TStateSample {
    int64_t position = 0;
    uint8_t oldByte = 0;
    uint8_t newByte = 0;
};

struct TJournalState {
    bool unknown = false;
    int64_t oldSize = 0;
    int64_t newSize = 0;
    std::vector<TStateSample> samples;  // below the smaller size
};

// The positions sampled in an archive range of limit bytes: its header bytes, then the rest
// spread evenly, about 256 in all (every position when there are fewer).
std::vector<int64_t> StateSamplePositions(int64_t limit);

// The state a pass leads from (the archive as it stands) and to (the outcome).
TJournalState MeasureState(HostFile& archive, const TPassOutcome& outcome);

// The state of a change no pass describes.
TJournalState UnknownState();

// The whole record, tag included.
std::vector<uint8_t> EncodeState(const TJournalState& state);

// Reads the record from the journal's position on, just behind its 8-byte tag: false when it
// is cut short or names a size no archive can have, an unknown content kind, more samples
// than any state holds, or a sample outside its range. body receives the bytes read, for the
// seal.
bool ReadState(HostFile& journal, int64_t journalSize, TJournalState& state, std::vector<uint8_t>& body);

// True when the archive may be what the pass left, or what a roll-back interrupted midway
// left of it: a size between the state's two and the size the roll-back restores, and every
// sampled byte old, new, or the one the roll-back writes there (restored, one per sample,
// none where the journal holds no byte). An unknown state fits any archive.
bool ArchiveFitsState(const TJournalState& state, HostFile& archive, int64_t restoredSize,
                      const std::vector<std::optional<uint8_t>>& restored);
