#pragma once
// AEAD_AES_SIV_CMAC_256 (a 32-byte key), behind a seam so tests can replace
// it. The ciphertext is the 16-byte synthetic IV (the tag) followed by the
// encrypted bytes. Nonces are always 16 bytes: the library aborts the whole
// process on an empty one, so anything else is refused here first.

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
};

// GnuTLS's AES-SIV.
class GnutlsAeadSiv : public AeadSiv {
public:
    std::optional<std::string> seal(const std::string& key, const std::string& nonce, const std::string& associatedData,
                                    const std::string& plaintext) const override;
    std::optional<std::string> open(const std::string& key, const std::string& nonce, const std::string& associatedData,
                                    const std::string& ciphertext) const override;
};

} // namespace platform
