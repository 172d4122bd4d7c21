#include "engine/updating/internal/running_updates.h"

#include <map>
#include <mutex>
#include <utility>

namespace {

using TArchiveKey = std::pair<uint64_t, uint64_t>;

std::mutex& RunningMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<TArchiveKey, TUpdateJournal*>& RunningUpdates() {
    static std::map<TArchiveKey, TUpdateJournal*> updates;
    return updates;
}

TArchiveKey KeyOf(const host::FileIdentity& identity) { return {identity.device, identity.inode}; }

}  // namespace

TUpdateJournal* RunningUpdateOf(const host::FileIdentity& archive) {
    std::lock_guard<std::mutex> lock(RunningMutex());
    const auto found = RunningUpdates().find(KeyOf(archive));
    return found == RunningUpdates().end() ? nullptr : found->second;
}

void AddRunningUpdate(const host::FileIdentity& archive, TUpdateJournal* journal) {
    std::lock_guard<std::mutex> lock(RunningMutex());
    RunningUpdates()[KeyOf(archive)] = journal;
}

void RemoveRunningUpdate(const host::FileIdentity& archive) {
    std::lock_guard<std::mutex> lock(RunningMutex());
    RunningUpdates().erase(KeyOf(archive));
}
