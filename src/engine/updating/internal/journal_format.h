// The bytes of an update's rollback journal: its header, the records an update appends, the
// seals that close each group of records, and the walk that reads back what a journal holds
// as far as it is sealed. The journal's format is described in vpak-journal(5).
//
// Records and seals follow each other in groups; a roll-back applies the records up to the
// last valid seal, and a sealed PLAN record (a pass that rolls forward, forward_pass.h) is
// finished instead. Journals of every earlier layout are still read; those without STATE
// records are applied on the checks of the file alone.
#pragma once

#include "engine/internal_header.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/updating/internal/forward_pass.h"
#include "engine/updating/internal/journal_state.h"
#include "support/host_entries.h"

class HostFile;
class TSha1Stream;

// The layouts in the order they came: the first sealed with a SHA-1, the second with a
// CRC-32, which checks a tail of hundreds of megabytes in a fraction of the time. The third
// adds the STATE record, the fourth the PLAN record and its slots, the fifth DATA records
// and streams of a PLAN parked in them. Every later layout reads the earlier ones.
inline constexpr uint32_t kSha1Layout = 1;
inline constexpr uint32_t kCrcLayout = 2;
inline constexpr uint32_t kStateLayout = 3;
inline constexpr uint32_t kForwardLayout = 4;
inline constexpr uint32_t kParkingLayout = 5;
inline constexpr uint32_t kLayoutVersion = kParkingLayout;

// A journal begins with kFreshMagic and gets kMagic once a group that lets the archive change
// (one with a state) is sealed and on the disk, before the archive changes. So a journal that
// still begins with kFreshMagic, or with nothing, was never acted on: the archive is as it
// was, and the journal can go whatever it holds. Seals are taken over kMagic. Earlier versions
// wrote kMagic from the start.
inline constexpr char kMagic[8] = {'V', 'P', 'A', 'K', '-', 'J', 'N', 'L'};
inline constexpr char kFreshMagic[8] = {'V', 'P', 'A', 'K', '-', 'N', 'E', 'W'};

inline constexpr int64_t kHeaderLength = 40;      // magic, version, header length, device, inode, old size
inline constexpr int64_t kRecordHeadLength = 24;  // SAVE: tag, offset, length
inline constexpr int64_t kDataHeadLength = 16;    // DATA: tag, length
// The piece in which saved bytes are copied between the archive and the journal.
inline constexpr int64_t kJournalCopyBlock = 4194304;

// The most an update's journal holds of the archive's old bytes, whatever the archive's size;
// new streams and the new directory come on top. No pass that rolls forward moves longer
// pieces.
inline constexpr int64_t kJournalBudget = int64_t{64} << 20;

struct TJournalHeader {
    uint32_t version = kLayoutVersion;
    host::FileIdentity archive;
    int64_t oldSize = 0;
};

std::array<uint8_t, kHeaderLength> EncodeHeader(const TJournalHeader& header, const char (&magic)[8] = kMagic);

// The checksum a seal holds over every journal byte in front of it: a SHA-1 in the first
// layout, a CRC-32 in every later one.
class TSealSum {
public:
    explicit TSealSum(uint32_t version);
    ~TSealSum();

    void Update(const void* bytes, size_t count);
    // The checksum as the seal stores it: the digest, or the CRC little-endian.
    std::vector<uint8_t> Value() const;
    // The seal's whole length, its tag included.
    int64_t SealLength() const;

private:
    std::unique_ptr<TSha1Stream> sha1_;
    uint32_t crc_ = 0;
};

// The head of a SAVE record: the archive's bytes from offset on, length of them, follow it.
std::array<uint8_t, kRecordHeadLength> EncodeSaveHead(int64_t offset, int64_t length);
// The head of a DATA record: a new stream of length bytes parked in the journal follows it.
std::array<uint8_t, kDataHeadLength> EncodeDataHead(int64_t length);
// The seal of the bytes digest has taken in, tag included.
std::vector<uint8_t> EncodeSeal(const TSealSum& digest);

// Hands bytes on to the journal, or to its seal's checksum.
using TByteSink = std::function<void(const void* bytes, size_t count)>;

// The PLAN record of a pass that rolls forward, tag included, piece by piece into put.
void EncodePlan(const TForwardPass& pass, const TByteSink& put);

// One saved range: where it belongs in the archive and where its bytes are in the journal.
struct TSavedRange {
    int64_t offset = 0;
    int64_t length = 0;
    int64_t journalPosition = 0;
};

// How the walk of a journal ended.
enum class TScanEnd {
    AtEnd,     // at the end of the file, or at the slots of a pass that rolls forward
    CutShort,  // inside a record that the end of the file cuts short, as a killed update leaves it
    Damaged,   // at a seal that does not match, or at bytes that are no record
};

// What a journal holds, as far as it is sealed.
struct TJournalScan {
    bool headerValid = false;
    bool newerLayout = false;  // the header is a later version's, which this one cannot read
    TJournalHeader header;
    TScanEnd end = TScanEnd::AtEnd;
    int64_t stoppedAt = 0;  // where the walk ended: the first byte no valid seal covers
    int seals = 0;  // a seal without records still records the old size
    std::vector<TSavedRange> sealed;
    std::optional<TJournalState> state;  // the last sealed one
    std::unique_ptr<TForwardPass> forward;  // a sealed pass to finish, the last group's
    int64_t slotsStart = 0;                 // where its slots lie
};

// Walks the journal and keeps the records that a valid seal covers. A pass to finish holds
// bytes parked in journal, which must stay open while it is used.
TJournalScan ScanJournal(HostFile& journal);

// How a journal begins: whether its update may have changed the archive.
enum class TJournalMark {
    NeverActedOn,  // kFreshMagic, or nothing yet on the disk: the archive was not touched
    ActedOn,       // kMagic
    Unknown,       // anything else: a damaged header, or no journal at all
};

TJournalMark ReadMark(HostFile& journal);
