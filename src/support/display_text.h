// Names as they are shown to a person: on a terminal, in a message box, in a log line.
#pragma once

#include <string>

// The text with every control byte (0x00 to 0x1F and 0x7F) written as "<XX>", two
// upper-case hexadecimal digits: "a<0A>b" for "a", a line feed, "b". A name could otherwise
// start a new line of a listing, move the cursor back over what was printed, or send the
// terminal an escape sequence. The Windows names the game's archives are made of cannot
// hold "<" or ">", so the form is not taken for a plain name there. Every other byte stays
// as it is, so that a name keeps its own characters; a text without control bytes is
// returned unchanged, and escaping twice changes nothing more.
std::string PrintableText(const std::string& text);

// A path inside an archive as the user types it: "/" between the folders in place of the
// archive's "\", control bytes escaped as PrintableText does.
std::string ArchivePathForUser(const std::string& archivePath);
