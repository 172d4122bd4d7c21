// Names on Windows, whose file system names are UTF-16 while vpak's names are bytes: the
// conversions both ways, the long-path form of a path, and the names Windows refuses or
// gives another meaning. Plain functions of text, so that every platform can test them; only
// the Windows host module uses them to reach the OS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The code point of the well-formed UTF-8 sequence at text[i], advancing i past it, or -1
// (i unchanged) when none starts there: no overlong forms, surrogates or values past
// U+10FFFF.
int32_t NextUtf8(const std::string& text, size_t& i);

// A name's bytes as Windows text: UTF-8 when the whole name is well-formed UTF-8, otherwise
// Windows-1252, the code page the game's own tools wrote names in (the five bytes it leaves
// undefined keep their own code points, as Windows maps them). The same rule shows a name.
std::u16string WindowsTextOfName(const std::string& name);

// The bytes of a name Windows gave, in UTF-8; none for text no byte string can stand for
// faithfully (a lone surrogate, which NTFS allows), whose entry is then a failed file.
std::optional<std::string> NameOfWindowsText(const std::u16string& text);

// An absolute Windows path ("C:\a\b" or "\\server\share\a") in the form that lifts the
// 260-character limit and turns off the Win32 rewriting of names: "\\?\C:\a\b",
// "\\?\UNC\server\share\a". A path already in that form, or one that is not absolute, is
// returned as it is. Since the form turns off the rewriting, the path must already be
// whole: "\" separated, without "." or ".." components (GetFullPathNameW gives that).
std::u16string LongPathForm(const std::u16string& absolutePath);

// True for a name Windows refuses or takes for something else, so that extraction must not
// create it: a device name (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0 to COM9, LPT0 to
// LPT9, in any case, alone or with any extension, as "nul.txt"), a name that ends in a dot or a space (Windows
// drops them), "." and "..", and a name holding a character Windows does not allow in
// one: a control character, or one of < > : " / \ | ? * (":" would name an alternate
// stream of a file).
bool IsForbiddenWindowsName(const std::string& name);
