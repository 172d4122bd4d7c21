// Host paths as the wide API takes them, part of the Windows host module.
#pragma once

#include <string>

namespace host {

// The host path (bytes, "/" or "\" between folders) as a whole wide path in the long-path
// form ("\\?\C:\..."), so that no call stops at 260 characters. Each component is converted
// on its own (windows_names.h), since a path joins a user's folder, usually UTF-8, with
// names from an archive, which may be Windows-1252. A relative path is taken from the
// current folder; "." and ".." are resolved as Windows resolves them.
std::wstring WidePath(const std::string& path);

}  // namespace host
