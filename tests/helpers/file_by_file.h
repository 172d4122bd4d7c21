// Replacing from a folder the long way, file by file: ReplaceOneFile for each file of the
// tree in collection order, each listing, patching and closing the archive on its own. The
// one pass of ReplaceFromDirectory (replace_batch.h) must give what this gives: the tests
// hold the two against each other. No program ships it.
#pragma once

#include "engine/updating/archive_update.h"

TReplaceResult ReplaceFromDirectoryFileByFile(const TReplaceDirRequest& request);
