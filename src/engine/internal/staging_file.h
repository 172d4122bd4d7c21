// The file a build writes beside its target: the target's name + ".vpak-new". Where it lies,
// whether a build holds it, and removing what a killed build left, which every open of an
// archive does (update_journal.h) as well as the next build of it (staged_archive.h).
#pragma once

#include <string>

#include "engine/notices.h"

inline constexpr const char* kStagingSuffix = ".vpak-new";

// The file a build of archivePath replaces: the path itself, or the file it names when it is a
// link to an existing file, so that the link stays a link. Its staging file lies beside it.
std::string StagingTargetOf(const std::string& archivePath);

// True when a build holds (locks) the staging file at stagingPath.
bool IsBuilding(const std::string& stagingPath);

// Removes the file a killed build of the archive left beside it, unless a build is still
// writing it. One this process may not remove stays, told in notices.
void RemoveLeftOverBuild(const std::string& archivePath, TNotices* notices = nullptr);
