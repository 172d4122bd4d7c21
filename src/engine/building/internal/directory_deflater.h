// Compressing a new archive's directory on a thread of its own while the build goes on.
// Compressing a directory at level 9 costs about what copying every kept stream of an edit
// costs, and no stream can be placed before the header's length is known: so the build hands
// over each part of the directory image once no later record can change it, and an edit lets
// the directory it replaces be compressed ahead in the meantime, since the new one most
// often begins like it.
#pragma once

#include "engine/internal_header.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "support/bytes.h"

class TDirectoryDeflater {
public:
    // former: the directory image the new one is likely to begin like (nullptr: none); it
    // must outlive the deflater. Until the new image is known to part from it, its bytes are
    // compressed ahead, with a point to come back to every so often.
    explicit TDirectoryDeflater(const TArrayOfByte* former = nullptr);
    ~TDirectoryDeflater();
    TDirectoryDeflater(const TDirectoryDeflater&) = delete;
    TDirectoryDeflater& operator=(const TDirectoryDeflater&) = delete;

    // The bytes of the image handed over (or found to be former's) so far.
    size_t Given() const { return given_; }

    // image[0, final) is final: hands over what of it is new. Called by one thread only,
    // the build's, with one image that only grows.
    void Give(const TArrayOfByte& image, size_t final);

    // The compressed image, the whole of which is final: the stream CompressBytes makes of
    // it. Raises what compressing raised. While it waits it keeps the operation's caller
    // alive (KeepAlive), which may stop it.
    TArrayOfByte Finish(const TArrayOfByte& image);

private:
    void Run();
    void PartFrom(size_t same);
    void Hand(const uint8_t* bytes, size_t count);

    const TArrayOfByte* former_;
    size_t markEvery_;
    size_t given_ = 0;         // the build's side
    bool following_ = false;   // the build's side: the image is former's so far

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::deque<TArrayOfByte> pieces_;
    bool parted_ = false;
    size_t partAt_ = 0;  // where the image is compressed from anew: a point of return
    bool ending_ = false;
    bool stopping_ = false;
    bool finished_ = false;
    TArrayOfByte result_;
    std::exception_ptr error_;
    std::thread thread_;  // last: it starts once everything it uses is there
};
