#pragma once
// Where the check engine keeps the servers that refused access, so that
// neither the window nor a later tikora-cli run asks them again within the
// hold. The engine sees only this interface; tests use fakes::FakeKissStore.

#include <cstdint>
#include <optional>
#include <string>

namespace platform {
class FileSystem;
}

namespace check {

class KissStore {
public:
    virtual ~KissStore() = default;
    // The line to show instead of asking host:port at `now` (see
    // HeldBackText), or nothing when the server may be asked.
    virtual std::optional<std::string> heldBack(const std::string& host, const std::string& port,
                                                std::int64_t nowUnixSeconds) = 0;
    // host:port sent kiss-o'-death `code` (DENY, RSTR) at `now`.
    virtual void remember(const std::string& host, const std::string& port, const std::string& code,
                          std::int64_t nowUnixSeconds) = 0;
};

// The memory in the user's state folder. Each call reads the file again, so
// what another process wrote meanwhile counts; a file that cannot be read or
// written leaves the check to go on as if nothing were remembered.
class FileKissStore final : public KissStore {
public:
    FileKissStore();
    explicit FileKissStore(platform::FileSystem& files);

    std::optional<std::string> heldBack(const std::string& host, const std::string& port,
                                        std::int64_t nowUnixSeconds) override;
    void remember(const std::string& host, const std::string& port, const std::string& code,
                  std::int64_t nowUnixSeconds) override;

    // Why the last read or write failed; empty when it did not.
    const std::string& lastProblem() const { return lastProblem_; }

private:
    platform::FileSystem* files_;
    std::string lastProblem_;
};

// The file's name in the state folder.
inline constexpr const char* kKissStoreFileName = "refused_servers";

} // namespace check
