#include "engine/reading/internal/stream_bytes.h"

#include <stdexcept>
#include <vector>

#include "support/host_file.h"

TStreamBytes TStreamBytes::Held(const TArrayOfByte& bytes) {
    TStreamBytes stream;
    stream.held_ = &bytes;
    stream.length_ = BufferLength(bytes);
    return stream;
}

TStreamBytes TStreamBytes::Parked(HostFile& file, int64_t offset, int64_t length) {
    TStreamBytes stream;
    stream.file_ = &file;
    stream.offset_ = offset;
    stream.length_ = length;
    return stream;
}

uint8_t TStreamBytes::At(int64_t index) const {
    if (index < 0 || index >= length_) throw std::out_of_range("no byte " + std::to_string(index) + " in the stream");
    if (file_ == nullptr) return (*held_)[static_cast<size_t>(index)];
    uint8_t byte = 0;
    file_->ReadBytesAt({offset_ + index}, &byte);
    return byte;
}

void TStreamBytes::WriteInto(HostFile& target) const {
    if (file_ == nullptr) target.Write(held_->data(), length_);
    else target.CopyFrom(*file_, offset_, length_);
}
