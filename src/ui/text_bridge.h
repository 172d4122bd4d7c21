// Texts cross between the engine (byte strings, file names as the OS gives them) and Qt
// (QString) only through these two functions, so a name survives the round trip.
#pragma once

#include <QFile>
#include <QString>
#include <string>

inline QString QStr(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }
inline std::string StdStr(const QString& text) { return QFile::encodeName(text).toStdString(); }
