#pragma once
// The key exchange's records (the TLS conversation on port 4460 that hands
// out keys and cookies). Pure: bytes in, fields out. A record is a 16-bit
// type whose top bit marks it critical, a 16-bit body length and the body.
//
//   request = EncodeKeRequest();     // NTPv4, AES-SIV-CMAC-256, end of message
//   ... read from the TLS stream into `bytes` ...
//   KeParse parsed = ParseKeResponse(bytes);
//   Incomplete -> read more; Failed -> KeFailureText(parsed); Complete -> use parsed.response.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nts {

constexpr std::uint16_t kKePort = 4460;
constexpr std::uint16_t kCriticalBit = 0x8000;
constexpr std::uint16_t kNextProtocolNtpV4 = 0;
// AEAD_AES_SIV_CMAC_256: the one algorithm this client offers.
constexpr std::uint16_t kAeadAesSivCmac256 = 15;
// More than any sound server sends: chrony's answer is under 1 KiB.
constexpr std::size_t kMaxKeResponseBytes = 65536;

enum class RecordType : std::uint16_t {
    EndOfMessage = 0,
    NextProtocol = 1,
    Error = 2,
    Warning = 3,
    AeadAlgorithm = 4,
    NewCookie = 5,
    NtpServer = 6,
    NtpPort = 7,
};

struct Record {
    bool critical = false;
    std::uint16_t type = 0;
    std::string body;
};

// One record's bytes; a body over 65535 bytes is cut.
std::string EncodeRecord(const Record& record);
// The client's request: next protocol NTPv4, AEAD 15, end of message, all critical.
std::string EncodeKeRequest();

struct KeResponse {
    std::vector<std::uint16_t> nextProtocols;
    std::vector<std::uint16_t> aeadAlgorithms;
    std::vector<std::string> cookies;
    std::optional<std::string> ntpServer;   // record 6
    std::optional<std::uint16_t> ntpPort;   // record 7
    std::vector<std::uint16_t> warnings;
};

enum class KeStatus {
    Complete,
    Incomplete,           // no end of message yet: read on
    TooLong,              // past kMaxKeResponseBytes without an end
    Malformed,            // a record's body does not fit its type
    UnknownCritical,      // a critical record of a type we do not know
    ErrorRecord,          // the server says no (errorCode)
    DataAfterEnd,         // bytes follow the end of message
    NoNtpV4,              // the server did not agree to NTPv4
    NoAead,               // nor to AES-SIV-CMAC-256
    NoCookies,            // it gave no cookie
};

struct KeParse {
    KeStatus status = KeStatus::Incomplete;
    KeResponse response;
    std::uint16_t errorCode = 0;       // ErrorRecord
    std::uint16_t recordType = 0;      // UnknownCritical, Malformed: the record's type
};

// Reads a whole response so far; records the client does not know and that
// are not critical are skipped.
KeParse ParseKeResponse(std::span<const std::uint8_t> bytes);

// "Unrecognized Critical Record", "Bad Request", "Internal Server Error", or "error 7".
std::string KeErrorName(std::uint16_t code);
// Warnings have no names assigned: "warning 5".
std::string KeWarningName(std::uint16_t code);
// One plain line for the log (lower case first), e.g. "the key exchange server
// sent error record Bad Request". Empty for Complete and Incomplete.
std::string KeFailureText(const KeParse& parse);

} // namespace nts
