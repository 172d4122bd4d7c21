// Reading a host file's whole content.
#pragma once

#include <cstdint>
#include <climits>
#include <limits>
#include <memory>
#include <string>

#include "support/bytes.h"

class HostFile;

// False for a missing file and for one whose content cannot be obtained (a FIFO, a socket,
// a device, or a file that gave fewer bytes than its size).
bool ReadWholeFile(const std::string& path, TArrayOfByte& buffer);

// Why a file's content could not be obtained, in words for the user; empty when it was.
// A file is never opened unless it is a regular file, so a FIFO cannot block the reader
// and a device is never touched. Files larger than maxSize are refused before they are
// read. A failing read of an opened file raises, as any input/output error does.
std::string ReadWholeFileOrSayWhy(const std::string& path, TArrayOfByte& buffer,
                                  int64_t maxSize = INT64_MAX);

// Opens the file as ReadWholeFileOrSayWhy does before it reads, with the same checks and
// words, and hands it over unread: for a caller that reads it piece by piece, or only needs
// to know that it could be read. file is empty when a reason is returned.
std::string OpenWholeFileOrSayWhy(const std::string& path, std::unique_ptr<HostFile>& file,
                                  int64_t maxSize = INT64_MAX);

// ReadWholeFileOrSayWhy into room, which is grown as needed and never shrunk, so that one
// buffer serves file after file without being cleared each time: its first size bytes are
// the content. Same checks, same words.
std::string ReadWholeFileIntoRoomOrSayWhy(const std::string& path, TArrayOfByte& room, int64_t& size,
                                          int64_t maxSize = std::numeric_limits<int32_t>::max());
