// Names beside a file, part of the host module (see host_entries.h): the names in a folder
// that begin alike, a new name given without replacing what may stand under it, and the
// names of users, for the files vpak keeps beside an archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

// The names in folder dir that begin with prefix, links and all, in the order the OS gives
// them; none when the folder cannot be read (its entries are then found by name alone).
std::vector<std::string> NamesStartingWith(const std::string& dir, const std::string& prefix);

// Renames from to to unless an entry already stands under to: then false, and nothing
// changes. Other failures raise, naming to.
bool RenameUnlessTaken(const std::string& from, const std::string& to);

// The login name of user uid, "" when the system knows none.
std::string UserName(uint32_t uid);

}  // namespace host
