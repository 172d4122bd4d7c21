#include "support/display_text.h"

#include "support/number_text.h"

namespace {

bool IsControlByte(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

}  // namespace

std::string PrintableText(const std::string& text) {
    std::string printable;
    printable.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsControlByte(byte)) printable += "<" + HexByte(byte) + ">";
        else printable += c;
    }
    return printable;
}

std::string ArchivePathForUser(const std::string& archivePath) {
    std::string path = archivePath;
    for (char& c : path)
        if (c == '\\') c = '/';
    return PrintableText(path);
}
