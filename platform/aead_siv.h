#pragma once
// AEAD_AES_SIV_CMAC_256 (a 32-byte key), behind a seam so tests can replace
// it. The ciphertext is the 16-byte synthetic IV (the tag) followed by the
// encrypted bytes. Nonces are always 16 bytes: the library aborts the whole
// process on an empty one, so anything else is refused here first.

#include <memory>
#include <optional>
#include <string>

namespace platform {

class AeadSiv {
public:
    static constexpr std::size_t kKeySize = 32;
    static constexpr std::size_t kNonceSize = 16;
    static constexpr std::size_t kTagSize = 16;

    virtual ~AeadSiv() = default;
    // None when the key or nonce has the wrong size.
    virtual std::optional<std::string> seal(const std::string& key, const std::string& nonce,
                                            const std::string& associatedData, const std::string& plaintext) const = 0;
    // None when the ciphertext does not verify (or the sizes are wrong).
    virtual std::optional<std::string> open(const std::string& key, const std::string& nonce,
                                            const std::string& associatedData, const std::string& ciphertext) const = 0;
    // Unpredictable bytes for nonces and identifiers.
    virtual std::string randomBytes(std::size_t count) const = 0;
};

// GnuTLS's AES-SIV. One thread at a time: the last key's cipher is kept,
// as every request and reply of a session uses the same two keys.
class GnutlsAeadSiv : public AeadSiv {
public:
    GnutlsAeadSiv();
    ~GnutlsAeadSiv() override;
    std::optional<std::string> seal(const std::string& key, const std::string& nonce, const std::string& associatedData,
                                    const std::string& plaintext) const override;
    std::optional<std::string> open(const std::string& key, const std::string& nonce, const std::string& associatedData,
                                    const std::string& ciphertext) const override;
    std::string randomBytes(std::size_t count) const override;

private:
    struct Ciphers;
    std::unique_ptr<Ciphers> ciphers_;
};

} // namespace platform
