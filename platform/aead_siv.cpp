#include "platform/aead_siv.h"

#include <gnutls/crypto.h>
#include <gnutls/gnutls.h>

#include <memory>
#include <stdexcept>

namespace platform {
namespace {

struct CipherDeleter {
    void operator()(gnutls_aead_cipher_hd_t handle) const { gnutls_aead_cipher_deinit(handle); }
};
using Cipher = std::unique_ptr<std::remove_pointer_t<gnutls_aead_cipher_hd_t>, CipherDeleter>;

Cipher makeCipher(const std::string& key)
{
    if (key.size() != AeadSiv::kKeySize)
        return nullptr;
    gnutls_datum_t datum{reinterpret_cast<unsigned char*>(const_cast<char*>(key.data())),
                         static_cast<unsigned>(key.size())};
    gnutls_aead_cipher_hd_t handle = nullptr;
    if (gnutls_aead_cipher_init(&handle, GNUTLS_CIPHER_AES_128_SIV, &datum) < 0)
        return nullptr;
    return Cipher(handle);
}

} // namespace

// A key schedule per call costs more than the sealing: the two keys in use are kept.
struct GnutlsAeadSiv::Ciphers {
    std::string keys[2];
    Cipher ciphers[2];
    int next = 0;

    gnutls_aead_cipher_hd_t forKey(const std::string& key)
    {
        for (int i = 0; i < 2; ++i)
            if (ciphers[i] && keys[i] == key)
                return ciphers[i].get();
        Cipher made = makeCipher(key);
        if (!made)
            return nullptr;
        keys[next] = key;
        ciphers[next] = std::move(made);
        gnutls_aead_cipher_hd_t handle = ciphers[next].get();
        next = 1 - next;
        return handle;
    }
};

GnutlsAeadSiv::GnutlsAeadSiv() : ciphers_(std::make_unique<Ciphers>()) {}
GnutlsAeadSiv::~GnutlsAeadSiv() = default;

std::string GnutlsAeadSiv::randomBytes(std::size_t count) const
{
    std::string bytes(count, '\0');
    if (gnutls_rnd(GNUTLS_RND_NONCE, bytes.data(), bytes.size()) < 0)
        throw std::runtime_error("no random bytes");
    return bytes;
}

std::optional<std::string> GnutlsAeadSiv::seal(const std::string& key, const std::string& nonce,
                                               const std::string& associatedData, const std::string& plaintext) const
{
    if (nonce.size() != kNonceSize)
        return std::nullopt;
    gnutls_aead_cipher_hd_t cipher = ciphers_->forKey(key);
    if (!cipher)
        return std::nullopt;
    std::string out(plaintext.size() + kTagSize, '\0');
    std::size_t outLength = out.size();
    // The contiguous call: the vectored one mis-orders SIV's tag.
    if (gnutls_aead_cipher_encrypt(cipher, nonce.data(), nonce.size(), associatedData.data(),
                                   associatedData.size(), kTagSize, plaintext.data(), plaintext.size(), out.data(),
                                   &outLength) < 0)
        return std::nullopt;
    out.resize(outLength);
    return out;
}

std::optional<std::string> GnutlsAeadSiv::open(const std::string& key, const std::string& nonce,
                                               const std::string& associatedData, const std::string& ciphertext) const
{
    if (nonce.size() != kNonceSize || ciphertext.size() < kTagSize)
        return std::nullopt;
    gnutls_aead_cipher_hd_t cipher = ciphers_->forKey(key);
    if (!cipher)
        return std::nullopt;
    std::string out(ciphertext.size(), '\0');
    std::size_t outLength = out.size();
    if (gnutls_aead_cipher_decrypt(cipher, nonce.data(), nonce.size(), associatedData.data(),
                                   associatedData.size(), kTagSize, ciphertext.data(), ciphertext.size(), out.data(),
                                   &outLength) < 0)
        return std::nullopt;
    out.resize(outLength);
    return out;
}

} // namespace platform
