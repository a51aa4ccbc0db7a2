// libFuzzer target for authenticated NTP replies' extension fields: any
// bytes parse without a crash or a sanitizer report; fields found tile the
// bytes exactly, each a padded word multiple and long enough; an accepted
// reply's additional data ends where its authenticator starts, after the
// header; the authenticator's parts lie inside their field; cookies in an
// encrypted part round-trip through EncodeField.
#include "net/nts_extension_fields.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void failed(const char* what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes{data, size};
    if (const auto fields = nts::ParseFields(bytes, 0, nts::kMinFieldSize)) {
        std::size_t at = 0;
        for (const nts::ExtensionField& field : *fields) {
            const std::size_t length = field.body.size() + 4;
            if (field.offset != at || length % 4 != 0 || length < nts::kMinFieldSize)
                failed("fields do not tile the bytes in padded words");
            at += length;
        }
        if (at != size)
            failed("bytes left over after the fields");
    }
    const nts::ReplyFieldsParse reply = nts::ParseReplyFields(bytes);
    if (reply.status == nts::ReplyFieldsStatus::Ok) {
        const std::size_t start = reply.fields.authenticatedLength;
        if (start < nts::kNtpHeaderSize + nts::kMinFieldSize || start + nts::kMinFieldSize > size)
            failed("the authenticator lies outside the packet");
        if (data[start] != 0x04 || data[start + 1] != 0x04)
            failed("the additional data does not end at the authenticator");
        if (reply.fields.uniqueId.empty())
            failed("an accepted reply has no identifier");
        const std::size_t fieldLength = std::size_t(data[start + 2]) << 8 | data[start + 3];
        if (reply.fields.authenticator.nonce.size() + reply.fields.authenticator.ciphertext.size() + 8 > fieldLength)
            failed("the authenticator's parts overrun their field");
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto cookies = nts::CookiesIn(text)) {
        std::string again;
        for (const std::string& cookie : *cookies)
            again += nts::EncodeField(nts::kCookie, cookie, nts::kMinInnerFieldSize);
        const auto reread = nts::CookiesIn(again);
        if (!reread || *reread != *cookies)
            failed("cookies do not round-trip");
    }
    return 0;
}
