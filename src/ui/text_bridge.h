// Texts cross between the engine (byte strings, file names as the OS gives them) and Qt
// (QString) only through these functions, so a name survives the round trip.
#pragma once

#include <QFile>
#include <QString>
#include <string>

inline QString QStr(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }
inline std::string StdStr(const QString& text) { return QFile::encodeName(text).toStdString(); }

// A name from an archive as the tree shows it, for looking only: UTF-8 when the bytes are
// valid UTF-8, otherwise Windows-1252, the code page the game's own tools wrote names in.
QString DisplayName(const std::string& bytes);

// The other way: text as Windows-1252 bytes; false when it holds a character the code page lacks.
bool ToWindows1252(const QString& text, std::string& bytes);
