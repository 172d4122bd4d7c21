// The files a build writes beside its target: the target's name + ".vpak-new-" + 12 random
// hexadecimal digits, created exclusively, so that no other user can take the name a build
// will use by planting a file there. Making such names, finding them again, whether a build
// holds one, and removing what killed builds left, which every reading and update of an
// archive does (archive_reading.h, update_journal.h) as well as the next build of it
// (staged_archive.h).
#pragma once

#include "engine/internal_header.h"

#include <cstdint>
#include <string>
#include <vector>

#include "engine/notices.h"

inline constexpr const char* kStagingSuffix = ".vpak-new-";
inline constexpr size_t kStagingRandomDigits = 12;

// The file a build of archivePath replaces: the path itself, or the file it names when it is a
// link to an existing file, so that the link stays a link. Its staging files lie beside it.
std::string StagingTargetOf(const std::string& archivePath);

// A staging name for target that no one can predict: target + kStagingSuffix + random digits.
std::string NewStagingPath(const std::string& target);

// The names beside target that are staging names of it, as paths.
std::vector<std::string> StagingPathsOf(const std::string& target);

// True when a build holds (locks) the staging file at stagingPath.
bool IsBuilding(const std::string& stagingPath);

// Removes the files killed builds of the archive left beside it, unless a build is still
// writing them. One this process may not remove stays, told in notices with its owner.
// Call it with the folder of the target locked (host::FileLock), or let it lock the folder.
void RemoveLeftOverBuild(const std::string& archivePath, TNotices* notices = nullptr);
// The same beside target, the file an archive's path names (StagingTargetOf).
void RemoveLeftOverBuildBeside(const std::string& target, TNotices* notices = nullptr);
void RemoveLeftOverBuildLocked(const std::string& target, TNotices* notices);

// The owner of a file as a notice names it: "nobody (uid 65534)", or "uid 4242" where the
// system knows no name.
std::string UserWords(uint32_t user);
