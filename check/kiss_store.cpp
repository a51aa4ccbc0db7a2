#include "check/kiss_store.h"

#include "check/kiss_memory.h"
#include "platform/user_state.h"

namespace check {

FileKissStore::FileKissStore() : FileKissStore(platform::PosixFileSystem()) {}

FileKissStore::FileKissStore(platform::FileSystem& files) : files_(&files) {}

std::optional<std::string> FileKissStore::heldBack(const std::string& host, const std::string& port,
                                                   std::int64_t nowUnixSeconds)
{
    const platform::UserStateText file = platform::ReadUserState(*files_, kKissStoreFileName);
    lastProblem_ = file.error;
    const KissMemory memory = KissMemory::parse(file.content, nowUnixSeconds);
    if (const std::optional<KissEntry> entry = memory.heldBack(KissServerOf(host, port), nowUnixSeconds))
        return HeldBackText(*entry);
    return std::nullopt;
}

void FileKissStore::remember(const std::string& host, const std::string& port, const std::string& code,
                             std::int64_t nowUnixSeconds)
{
    const platform::UserStateText file = platform::ReadUserState(*files_, kKissStoreFileName);
    // An unreadable file is replaced: what it held cannot be used anyway.
    KissMemory memory = KissMemory::parse(file.content, nowUnixSeconds);
    memory.remember(KissServerOf(host, port), code, nowUnixSeconds);
    lastProblem_ = platform::WriteUserState(*files_, kKissStoreFileName, memory.format());
    if (lastProblem_.empty())
        lastProblem_ = file.error;
}

} // namespace check
