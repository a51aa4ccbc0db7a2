#include "net/nts_ke_records.h"

#include <algorithm>

namespace nts {
namespace {

std::uint16_t be16(const std::uint8_t* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] << 8 | bytes[1]);
}

void appendBe16(std::string& out, std::uint16_t value)
{
    out += static_cast<char>(value >> 8);
    out += static_cast<char>(value & 0xFF);
}

// A body that is a list of 16-bit numbers; none when its length is odd.
std::optional<std::vector<std::uint16_t>> numbers(const std::string& body)
{
    if (body.size() % 2 != 0)
        return std::nullopt;
    std::vector<std::uint16_t> values;
    for (std::size_t i = 0; i < body.size(); i += 2)
        values.push_back(be16(reinterpret_cast<const std::uint8_t*>(body.data() + i)));
    return values;
}

bool contains(const std::vector<std::uint16_t>& values, std::uint16_t wanted)
{
    return std::find(values.begin(), values.end(), wanted) != values.end();
}

// A host name or address as record 6 may carry: printable ASCII, no spaces.
bool plausibleServerName(const std::string& name)
{
    if (name.empty() || name.size() > 255)
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

KeParse failed(KeStatus status, std::uint16_t recordType = 0)
{
    KeParse parse;
    parse.status = status;
    parse.recordType = recordType;
    return parse;
}

} // namespace

std::string EncodeRecord(const Record& record)
{
    const std::size_t length = std::min<std::size_t>(record.body.size(), 0xFFFF);
    std::string out;
    appendBe16(out, static_cast<std::uint16_t>((record.critical ? kCriticalBit : 0) | (record.type & 0x7FFF)));
    appendBe16(out, static_cast<std::uint16_t>(length));
    out.append(record.body, 0, length);
    return out;
}

std::string EncodeKeRequest()
{
    std::string protocol, aead;
    appendBe16(protocol, kNextProtocolNtpV4);
    appendBe16(aead, kAeadAesSivCmac256);
    return EncodeRecord({true, static_cast<std::uint16_t>(RecordType::NextProtocol), protocol}) +
           EncodeRecord({true, static_cast<std::uint16_t>(RecordType::AeadAlgorithm), aead}) +
           EncodeRecord({true, static_cast<std::uint16_t>(RecordType::EndOfMessage), {}});
}

KeParse ParseKeResponse(std::span<const std::uint8_t> bytes)
{
    KeParse parse;
    std::size_t at = 0;
    while (true) {
        if (bytes.size() - at < 4)
            return failed(bytes.size() > kMaxKeResponseBytes ? KeStatus::TooLong : KeStatus::Incomplete);
        const std::uint16_t word = be16(bytes.data() + at);
        const bool critical = (word & kCriticalBit) != 0;
        const std::uint16_t type = word & 0x7FFF;
        const std::size_t length = be16(bytes.data() + at + 2);
        if (bytes.size() - at - 4 < length)
            return failed(bytes.size() > kMaxKeResponseBytes ? KeStatus::TooLong : KeStatus::Incomplete);
        const std::string body(reinterpret_cast<const char*>(bytes.data() + at + 4), length);
        at += 4 + length;
        KeResponse& response = parse.response;
        switch (static_cast<RecordType>(type)) {
        case RecordType::EndOfMessage:
            if (!body.empty())
                return failed(KeStatus::Malformed, type);
            if (at != bytes.size())
                return failed(KeStatus::DataAfterEnd);
            if (!contains(response.nextProtocols, kNextProtocolNtpV4))
                return failed(KeStatus::NoNtpV4);
            if (!contains(response.aeadAlgorithms, kAeadAesSivCmac256))
                return failed(KeStatus::NoAead);
            if (response.cookies.empty())
                return failed(KeStatus::NoCookies);
            parse.status = KeStatus::Complete;
            return parse;
        case RecordType::NextProtocol:
        case RecordType::AeadAlgorithm: {
            const auto values = numbers(body);
            if (!values)
                return failed(KeStatus::Malformed, type);
            auto& list = type == static_cast<std::uint16_t>(RecordType::NextProtocol) ? response.nextProtocols
                                                                                      : response.aeadAlgorithms;
            list.insert(list.end(), values->begin(), values->end());
            break;
        }
        case RecordType::Error:
        case RecordType::Warning: {
            if (body.size() != 2)
                return failed(KeStatus::Malformed, type);
            const std::uint16_t code = be16(reinterpret_cast<const std::uint8_t*>(body.data()));
            if (type == static_cast<std::uint16_t>(RecordType::Error)) {
                KeParse error = failed(KeStatus::ErrorRecord, type);
                error.errorCode = code;
                return error;
            }
            response.warnings.push_back(code);
            break;
        }
        case RecordType::NewCookie:
            if (body.empty())
                return failed(KeStatus::Malformed, type);
            response.cookies.push_back(body);
            break;
        case RecordType::NtpServer:
            if (!plausibleServerName(body))
                return failed(KeStatus::Malformed, type);
            response.ntpServer = body;
            break;
        case RecordType::NtpPort: {
            if (body.size() != 2)
                return failed(KeStatus::Malformed, type);
            const std::uint16_t port = be16(reinterpret_cast<const std::uint8_t*>(body.data()));
            if (port == 0)
                return failed(KeStatus::Malformed, type);
            response.ntpPort = port;
            break;
        }
        default:
            if (critical)
                return failed(KeStatus::UnknownCritical, type);
            break;
        }
    }
}

std::string KeErrorName(std::uint16_t code)
{
    static const char* const kNames[] = {"Unrecognized Critical Record", "Bad Request", "Internal Server Error"};
    if (code < std::size(kNames))
        return kNames[code];
    return "error " + std::to_string(code);
}

std::string KeWarningName(std::uint16_t code)
{
    return "warning " + std::to_string(code);
}

std::string KeFailureText(const KeParse& parse)
{
    switch (parse.status) {
    case KeStatus::Complete:
    case KeStatus::Incomplete:
        return {};
    case KeStatus::TooLong:
        return "the key exchange answer is too long (over " + std::to_string(kMaxKeResponseBytes) + " bytes)";
    case KeStatus::Malformed:
        return "the key exchange answer holds a malformed record of type " + std::to_string(parse.recordType);
    case KeStatus::UnknownCritical:
        return "the key exchange answer holds a critical record of unknown type " + std::to_string(parse.recordType);
    case KeStatus::ErrorRecord:
        return "the key exchange server sent error record " + KeErrorName(parse.errorCode);
    case KeStatus::DataAfterEnd:
        return "the key exchange answer goes on after its end";
    case KeStatus::NoNtpV4:
        return "the key exchange server does not offer NTPv4";
    case KeStatus::NoAead:
        return "the key exchange server does not offer AEAD_AES_SIV_CMAC_256";
    case KeStatus::NoCookies:
        return "the key exchange server sent no cookie";
    }
    return {};
}

} // namespace nts
