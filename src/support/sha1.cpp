#include "support/sha1.h"

#include <openssl/sha.h>

TSha1Digest Sha1Digest(const void* bytes, size_t count) {
    TSha1Digest digest{};
    SHA1(static_cast<const unsigned char*>(bytes), count, digest.data());
    return digest;
}
