#include "hooks/power_cut.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace power_cut {

namespace {

namespace fs = std::filesystem;
using host::hooks::Change;
using Kind = TStep::Kind;

constexpr int64_t kSector = 512;

std::string ReadWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    std::string content;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        content.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return content;
}

// Writes content into path, cutting what it held; creates it readable by all and writable by
// its owner only, as a journal that recovery trusts must be.
void WriteWhole(const std::string& path, const std::string& content) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    ::fchmod(fd, 0644);
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
        }
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

std::string ResolvedDirectory(const std::string& path) {
    std::error_code error;
    const fs::path resolved = fs::canonical(path, error);
    return error ? path : resolved.string();
}

TStep StepOf(Kind kind, int inode = -1, int64_t offset = 0, std::string name = {}, std::string to = {}) {
    TStep step;
    step.kind = kind;
    step.inode = inode;
    step.offset = offset;
    step.name = std::move(name);
    step.to = std::move(to);
    return step;
}

TCrash CrashOf(size_t at, size_t names) {
    TCrash crash;
    crash.at = at;
    crash.names = names;
    return crash;
}

bool IsNameStep(Kind kind) { return kind == Kind::Create || kind == Kind::Rename || kind == Kind::Remove; }
bool IsContentStep(Kind kind) { return kind == Kind::Write || kind == Kind::Truncate; }

// Applies a step that changes content, as far as fate lets it: the bytes of a write that
// land (a write past the end leaves a hole of zeros before it), or whether a cut is made.
void ApplyContent(const TStep& step, int64_t fate, std::string& content) {
    if (step.kind == Kind::Truncate) {
        if (fate != 0) content.resize(static_cast<size_t>(step.offset), '\0');
        return;
    }
    if (fate == kGrownAsZeros) {
        const size_t end = static_cast<size_t>(step.offset) + step.bytes.size();
        if (content.size() < end) content.resize(end, '\0');
        return;
    }
    if (fate <= 0) return;
    const size_t end = static_cast<size_t>(step.offset + fate);
    if (content.size() < end) content.resize(end, '\0');
    std::memcpy(content.data() + step.offset, step.bytes.data(), static_cast<size_t>(fate));
}

void ApplyName(const TStep& step, std::map<std::string, int>& names) {
    switch (step.kind) {
        case Kind::Create: names[step.name] = step.inode; break;
        case Kind::Remove: names.erase(step.name); break;
        case Kind::Rename: {
            const auto found = names.find(step.name);
            if (found == names.end()) break;
            const int inode = found->second;
            names.erase(found);
            names[step.to] = inode;
            break;
        }
        default: break;
    }
}

// Where the last flush of each inode, and of the directory, lies among steps [0, at)
// (-1: none).
struct TFlushes {
    std::map<int, long> files;
    long directory = -1;

    long FileFlush(int inode) const {
        const auto found = files.find(inode);
        return found == files.end() ? -1 : found->second;
    }
};

TFlushes FlushesBefore(const std::vector<TStep>& steps, size_t at) {
    TFlushes flushes;
    for (size_t i = 0; i < at; ++i) {
        if (steps[i].kind == Kind::FlushFile) flushes.files[steps[i].inode] = static_cast<long>(i);
        if (steps[i].kind == Kind::FlushDirectory) flushes.directory = static_cast<long>(i);
    }
    return flushes;
}

}  // namespace

TRecorder::TRecorder(const std::string& directory, const std::string& keep)
    : directory_(ResolvedDirectory(directory)) {
    for (const auto& entry : fs::directory_iterator(directory_)) {
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        const std::string path = entry.path().string();
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) throw std::runtime_error("cannot look at " + path);
        const int inode = NewInode({static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
        const std::string kept = keep + "/" + std::to_string(inode);
        if (::link(path.c_str(), kept.c_str()) != 0)
            throw std::runtime_error("cannot link " + path + ": " + std::strerror(errno));
        log_.names[name] = inode;
        log_.contents[static_cast<size_t>(inode)] = ReadWhole(path);
        log_.keptAs[static_cast<size_t>(inode)] = kept;
    }
    live_ = log_.names;
    host::hooks::ListenToChanges(this);
    listening_ = true;
}

TRecorder::~TRecorder() {
    if (listening_) host::hooks::ListenToChanges(nullptr);
}

TRunLog TRecorder::Stop() {
    if (listening_) host::hooks::ListenToChanges(nullptr);
    listening_ = false;
    return log_;
}

int TRecorder::NewInode(const host::FileIdentity& identity) {
    const int inode = static_cast<int>(identities_.size());
    identities_.push_back(identity);
    // A removed file's inode number may come back for a new file: the new one owns it now.
    inodes_[{identity.device, identity.inode}] = inode;
    log_.contents.emplace_back();
    log_.keptAs.emplace_back();
    return inode;
}

int TRecorder::InodeOf(int fd) const {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return -1;
    const auto found = inodes_.find({static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)});
    return found == inodes_.end() ? -1 : found->second;
}

bool TRecorder::NameIn(const std::string& path, std::string& name) const {
    if (ResolvedDirectory(host::ParentDirectoryOf(path)) != directory_) return false;
    const size_t slash = path.find_last_of('/');
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    return true;
}

void TRecorder::Changed(const host::hooks::ChangeDone& done) {
    std::string name;
    switch (done.change) {
        case Change::Create: {
            if (!NameIn(*done.path, name)) return;
            struct stat st {};
            if (::fstat(done.fd, &st) != 0) return;
            const host::FileIdentity identity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
            const auto live = live_.find(name);
            if (live != live_.end() && identities_[static_cast<size_t>(live->second)] == identity) {
                // An existing file opened with O_TRUNC: cut, not created.
                log_.steps.push_back(StepOf(Kind::Truncate, live->second, 0));
                return;
            }
            const int inode = NewInode(identity);
            live_[name] = inode;
            log_.steps.push_back(StepOf(Kind::Create, inode, 0, name));
            return;
        }
        case Change::Write: {
            const int inode = InodeOf(done.fd);
            if (inode < 0) return;
            TStep step = StepOf(Kind::Write, inode, done.offset);
            step.bytes.resize(static_cast<size_t>(done.count));
            if (done.bytes != nullptr) {
                std::memcpy(step.bytes.data(), done.bytes, step.bytes.size());
            } else if (::pread(done.fd, step.bytes.data(), step.bytes.size(), done.offset) !=
                       static_cast<ssize_t>(step.bytes.size())) {
                throw std::runtime_error("cannot read back a copied range");
            }
            log_.steps.push_back(std::move(step));
            return;
        }
        case Change::Truncate: {
            const int inode = InodeOf(done.fd);
            if (inode >= 0) log_.steps.push_back(StepOf(Kind::Truncate, inode, done.offset));
            return;
        }
        case Change::FlushFile: {
            const int inode = InodeOf(done.fd);
            if (inode >= 0) log_.steps.push_back(StepOf(Kind::FlushFile, inode));
            return;
        }
        case Change::FlushRange:
            // Pages of a range, without the size: no flush as far as a power cut goes.
            return;
        case Change::FlushDirectory:
            if (ResolvedDirectory(*done.path) == directory_) log_.steps.push_back(StepOf(Kind::FlushDirectory));
            return;
        case Change::Rename: {
            std::string to;
            const bool from = NameIn(*done.path, name);
            const bool into = NameIn(*done.to, to);
            if (!from && !into) return;
            if (from != into) {
                ++log_.unfollowed;
                return;
            }
            TStep step = StepOf(Kind::Rename, -1, 0, name, to);
            ApplyName(step, live_);
            log_.steps.push_back(std::move(step));
            return;
        }
        case Change::Remove: {
            if (!NameIn(*done.path, name)) return;
            TStep step = StepOf(Kind::Remove, -1, 0, name);
            ApplyName(step, live_);
            log_.steps.push_back(std::move(step));
            return;
        }
    }
}

TCrashSpace::TCrashSpace(const TRunLog& log) : log_(log) {}

TCrashSpace::TPending TCrashSpace::PendingAt(size_t at) const {
    const TFlushes flushes = FlushesBefore(log_.steps, at);
    TPending pending;
    for (size_t i = 0; i < at; ++i) {
        const TStep& step = log_.steps[i];
        if (IsContentStep(step.kind) && static_cast<long>(i) > flushes.FileFlush(step.inode))
            pending.content.push_back(i);
        if (IsNameStep(step.kind) && static_cast<long>(i) > flushes.directory) pending.names.push_back(i);
    }
    return pending;
}

std::vector<int64_t> TCrashSpace::FatesOf(size_t index, bool every) const {
    const TStep& step = log_.steps[index];
    if (step.kind == Kind::Truncate) return {0, 1};
    const int64_t length = static_cast<int64_t>(step.bytes.size());
    std::vector<int64_t> fates{0, length};
    if (step.offset + length > SizeBefore(index)) fates.push_back(kGrownAsZeros);
    std::vector<int64_t> tears;
    for (int64_t boundary = (step.offset / kSector + 1) * kSector; boundary < step.offset + length; boundary += kSector)
        tears.push_back(boundary - step.offset);
    if (every || tears.size() <= 3) {
        fates.insert(fates.end(), tears.begin(), tears.end());
    } else {
        fates.push_back(tears.front());
        fates.push_back(tears[tears.size() / 2]);
        fates.push_back(tears.back());
    }
    return fates;
}

uint64_t TCrashSpace::ImagesAt(size_t at, uint64_t limit) const {
    const TPending pending = PendingAt(at);
    uint64_t count = pending.names.size() + 1;
    for (size_t index : pending.content) {
        count *= FatesOf(index, false).size();
        if (count > limit) return limit + 1;
    }
    return count;
}

std::vector<TCrash> TCrashSpace::CrashesAt(size_t at, uint64_t limit, std::mt19937_64& rng) const {
    const TPending pending = PendingAt(at);
    std::vector<std::vector<int64_t>> choices;
    for (size_t index : pending.content) choices.push_back(FatesOf(index, false));
    std::vector<TCrash> crashes;
    if (ImagesAt(at, limit) > limit) {
        for (uint64_t n = 0; n < limit; ++n) {
            TCrash crash = CrashOf(at, std::uniform_int_distribution<size_t>(0, pending.names.size())(rng));
            for (const auto& fates : choices)
                crash.fates.push_back(fates[std::uniform_int_distribution<size_t>(0, fates.size() - 1)(rng)]);
            crashes.push_back(std::move(crash));
        }
        return crashes;
    }
    // Every combination, counted like the digits of a number.
    std::vector<size_t> digits(choices.size(), 0);
    for (;;) {
        for (size_t names = 0; names <= pending.names.size(); ++names) {
            TCrash crash = CrashOf(at, names);
            for (size_t i = 0; i < choices.size(); ++i) crash.fates.push_back(choices[i][digits[i]]);
            crashes.push_back(std::move(crash));
        }
        size_t i = 0;
        while (i < digits.size() && ++digits[i] == choices[i].size()) digits[i++] = 0;
        if (i == digits.size()) return crashes;
    }
}

int64_t TCrashSpace::SizeBefore(size_t index) const {
    const int inode = log_.steps[index].inode;
    int64_t size = static_cast<int64_t>(log_.contents[static_cast<size_t>(inode)].size());
    for (size_t i = 0; i < index; ++i) {
        const TStep& step = log_.steps[i];
        if (step.inode != inode) continue;
        if (step.kind == Kind::Truncate) size = step.offset;
        if (step.kind == Kind::Write) size = std::max(size, step.offset + static_cast<int64_t>(step.bytes.size()));
    }
    return size;
}

TCrash TCrashSpace::Draw(std::mt19937_64& rng) const {
    const size_t at = std::uniform_int_distribution<size_t>(0, log_.steps.size())(rng);
    const TPending pending = PendingAt(at);
    TCrash crash = CrashOf(at, std::uniform_int_distribution<size_t>(0, pending.names.size())(rng));
    for (size_t index : pending.content) {
        const std::vector<int64_t> fates = FatesOf(index, true);
        crash.fates.push_back(fates[std::uniform_int_distribution<size_t>(0, fates.size() - 1)(rng)]);
    }
    return crash;
}

TCrashSpace::TImage TCrashSpace::ImageOf(const TCrash& crash) const {
    const TFlushes flushes = FlushesBefore(log_.steps, crash.at);
    TImage image;
    image.names = log_.names;
    size_t fate = 0;
    size_t pendingNames = 0;
    std::map<int, std::string> contents;
    for (size_t i = 0; i < crash.at; ++i) {
        const TStep& step = log_.steps[i];
        if (IsNameStep(step.kind)) {
            // Name changes land in order: those the directory's flush covered, then a prefix.
            if (static_cast<long>(i) <= flushes.directory || pendingNames++ < crash.names) ApplyName(step, image.names);
            continue;
        }
        if (!IsContentStep(step.kind)) continue;
        auto [content, fresh] = contents.try_emplace(step.inode);
        if (fresh) content->second = log_.contents[static_cast<size_t>(step.inode)];
        const bool durable = static_cast<long>(i) <= flushes.FileFlush(step.inode);
        const int64_t landed = durable ? static_cast<int64_t>(step.kind == Kind::Truncate ? 1 : step.bytes.size())
                                       : crash.fates.at(fate++);
        ApplyContent(step, landed, content->second);
    }
    for (const auto& [name, inode] : image.names) {
        const auto changed = contents.find(inode);
        image.contents[inode] =
            changed != contents.end() ? changed->second : log_.contents[static_cast<size_t>(inode)];
    }
    return image;
}

TFiles FilesOf(const TCrashSpace::TImage& image) {
    TFiles files;
    for (const auto& [name, inode] : image.names) files[name] = image.contents.at(inode);
    return files;
}

void WriteImage(const TRunLog& log, const TCrashSpace::TImage& image, const std::string& directory) {
    for (const auto& [name, inode] : image.names) {
        const std::string path = directory + "/" + name;
        const std::string& kept = log.keptAs[static_cast<size_t>(inode)];
        if (kept.empty()) {
            WriteWhole(path, image.contents.at(inode));
            continue;
        }
        WriteWhole(kept, image.contents.at(inode));
        if (::link(kept.c_str(), path.c_str()) != 0)
            throw std::runtime_error("cannot link " + path + ": " + std::strerror(errno));
    }
}

TFiles ReadFiles(const std::string& directory) {
    TFiles files;
    for (const auto& entry : fs::directory_iterator(directory))
        files[entry.path().filename().string()] = entry.is_regular_file() ? ReadWhole(entry.path().string()) : "";
    return files;
}

}  // namespace power_cut
