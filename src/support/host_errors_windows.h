// Windows' error codes in the form the rest of vpak knows them, part of the Windows host
// module: EInOutError carries an errno value on every platform, since the engine tells a
// missing file (ENOENT), a folder (EISDIR), a busy file (EBUSY) ... apart by it.
#pragma once

#include <windows.h>

namespace host {

// The errno value closest to a Win32 error code (GetLastError); EIO for one without a
// closer meaning.
int ErrnoOfWindowsError(DWORD error);

}  // namespace host
