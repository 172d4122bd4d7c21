#include "support/sha1.h"

#include <openssl/evp.h>
#include <openssl/sha.h>

#include <new>

TSha1Digest Sha1Digest(const void* bytes, size_t count) {
    TSha1Digest digest{};
    SHA1(static_cast<const unsigned char*>(bytes), count, digest.data());
    return digest;
}

struct TSha1Stream::TState {
    EVP_MD_CTX* context = nullptr;
};

TSha1Stream::TSha1Stream() : state_(std::make_unique<TState>()) {
    state_->context = EVP_MD_CTX_new();
    if (state_->context == nullptr || EVP_DigestInit_ex(state_->context, EVP_sha1(), nullptr) != 1) {
        EVP_MD_CTX_free(state_->context);
        throw std::bad_alloc();
    }
}

TSha1Stream::~TSha1Stream() { EVP_MD_CTX_free(state_->context); }

void TSha1Stream::Update(const void* bytes, size_t count) {
    if (count > 0) EVP_DigestUpdate(state_->context, bytes, count);
}

TSha1Digest TSha1Stream::Digest() const {
    TSha1Digest digest{};
    // The running state is copied, so that feeding can go on after a digest was taken.
    EVP_MD_CTX* copy = EVP_MD_CTX_new();
    if (copy == nullptr || EVP_MD_CTX_copy_ex(copy, state_->context) != 1) {
        EVP_MD_CTX_free(copy);
        throw std::bad_alloc();
    }
    unsigned int length = 0;
    EVP_DigestFinal_ex(copy, digest.data(), &length);
    EVP_MD_CTX_free(copy);
    return digest;
}
