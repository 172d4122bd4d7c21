// Replacing a file's content whole, part of the host module (see host_entries.h).
#pragma once

#include <cstdint>
#include <string>

namespace host {

// Makes count bytes the whole content of path so that, whatever fails, path holds either
// what it held before or all of the new bytes: they go to a temporary file created anew in
// the same folder (never through a link), which is flushed, given the permission bits and,
// where the process may, the owner of the file it replaces, and renamed over it; the folder
// is flushed last. Any failure removes the temporary file. A symbolic link to an existing
// file stays a link: the file it names is replaced. A FIFO or character device (a pipe, a
// terminal) has no content to keep and is written directly. A directory, socket or block
// device raises, as does an existing file the process may not write.
void WriteFileReplacing(const std::string& path, const void* data, int64_t count);

}  // namespace host
