#include "helpers/stored_archive.h"

#include <zlib.h>

#include "helpers/archive_writer.h"

TArrayOfByte StoredZlibStream(const TArrayOfByte& content) {
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    TArrayOfByte stream(size);
    compress2(stream.data(), &size, content.data(), static_cast<uLong>(content.size()), Z_NO_COMPRESSION);
    stream.resize(size);
    return stream;
}

TArrayOfByte StoredStreamArchive(const std::vector<std::pair<std::string, TArrayOfByte>>& files, bool bigEndian) {
    TArrayOfByte directory;
    TArrayOfByte data;
    PutInt(directory, bigEndian, 0);  // no folders
    PutInt(directory, bigEndian, static_cast<int32_t>(files.size()));
    for (const auto& [name, content] : files) {
        const TArrayOfByte stream = StoredZlibStream(content);
        PutName(directory, bigEndian, name);
        for (const int32_t field : {BufferLength(data), BufferLength(stream), BufferLength(content)})
            PutInt(directory, bigEndian, field);
        data.insert(data.end(), stream.begin(), stream.end());
    }
    return ArchiveBytes(directory, data, bigEndian);
}
