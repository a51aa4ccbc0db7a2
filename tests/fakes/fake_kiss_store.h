#pragma once
// A memory of refused servers that keeps to the test: it records every call
// and holds back exactly the servers it was told to (or that were remembered),
// with no clock and no file.

#include "check/kiss_store.h"

#include <map>
#include <vector>

namespace fakes {

class FakeKissStore final : public check::KissStore {
public:
    struct Remembered {
        std::string host, port, code;
        std::int64_t nowUnixSeconds;
    };
    // "host port" -> the line heldBack gives for it.
    std::map<std::string, std::string> held;
    std::vector<std::string> asked;   // "host port" of every heldBack call
    std::vector<Remembered> remembered;

    std::optional<std::string> heldBack(const std::string& host, const std::string& port,
                                        std::int64_t nowUnixSeconds) override;
    void remember(const std::string& host, const std::string& port, const std::string& code,
                  std::int64_t nowUnixSeconds) override;
};

} // namespace fakes
