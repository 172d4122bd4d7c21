#include "support/sha1.h"

#include <windows.h>
#include <bcrypt.h>

#include <new>

// SHA-1 through Windows' CNG: an algorithm provider opened once for the process, and one
// hash object per stream. A failure of CNG here can only be a lack of memory.
namespace {

void Check(NTSTATUS status) {
    if (!BCRYPT_SUCCESS(status)) throw std::bad_alloc();
}

BCRYPT_ALG_HANDLE Provider() {
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE handle = nullptr;
        Check(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA1_ALGORITHM, nullptr, 0));
        return handle;
    }();
    return provider;
}

BCRYPT_HASH_HANDLE NewHash() {
    BCRYPT_HASH_HANDLE hash = nullptr;
    Check(BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0));
    return hash;
}

// BCryptHashData takes at most 4 GiB less one byte per call.
void Feed(BCRYPT_HASH_HANDLE hash, const void* bytes, size_t count) {
    auto* next = static_cast<UCHAR*>(const_cast<void*>(bytes));
    while (count > 0) {
        const ULONG piece = count > 0x80000000u ? 0x80000000u : static_cast<ULONG>(count);
        Check(BCryptHashData(hash, next, piece, 0));
        next += piece;
        count -= piece;
    }
}

TSha1Digest Finish(BCRYPT_HASH_HANDLE hash) {
    TSha1Digest digest{};
    const NTSTATUS status = BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0);
    BCryptDestroyHash(hash);
    Check(status);
    return digest;
}

}  // namespace

TSha1Digest Sha1Digest(const void* bytes, size_t count) {
    BCRYPT_HASH_HANDLE hash = NewHash();
    try {
        Feed(hash, bytes, count);
    } catch (...) {
        BCryptDestroyHash(hash);
        throw;
    }
    return Finish(hash);
}

struct TSha1Stream::TState {
    BCRYPT_HASH_HANDLE hash = nullptr;
};

TSha1Stream::TSha1Stream() : state_(std::make_unique<TState>()) { state_->hash = NewHash(); }

TSha1Stream::~TSha1Stream() { BCryptDestroyHash(state_->hash); }

void TSha1Stream::Update(const void* bytes, size_t count) { Feed(state_->hash, bytes, count); }

TSha1Digest TSha1Stream::Digest() const {
    // The running state is duplicated, so that feeding can go on after a digest was taken.
    BCRYPT_HASH_HANDLE copy = nullptr;
    Check(BCryptDuplicateHash(state_->hash, &copy, nullptr, 0, 0));
    return Finish(copy);
}
