// libFuzzer target for the settings file: any bytes load without a crash or a
// sanitizer report; an unchanged file is written back byte for byte; a value
// written is the value read back, before and after the file is replaced.
// Files live in memory, so each input costs microseconds.
#include "platform/exception.h"
#include "platform/private_profile.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

namespace {

class MemoryFileSystem final : public platform::FileSystem {
public:
    std::map<std::string, std::string> files;

    int open(const std::string& path, int flags, mode_t) override
    {
        if (flags & O_DIRECTORY)
            return add(path, false);
        if ((flags & O_ACCMODE) == O_RDONLY) {
            if (!files.count(path))
                return fail(ENOENT);
            return add(path, false);
        }
        if ((flags & O_EXCL) && files.count(path))
            return fail(EEXIST);
        files[path].clear();
        return add(path, true);
    }
    ssize_t read(int descriptor, void* buffer, std::size_t size) override
    {
        Open& open = opened.at(descriptor);
        const std::string& content = files.at(open.path);
        const std::size_t count = std::min(size, content.size() - std::min(open.position, content.size()));
        std::memcpy(buffer, content.data() + open.position, count);
        open.position += count;
        return static_cast<ssize_t>(count);
    }
    ssize_t write(int descriptor, const void* data, std::size_t size) override
    {
        files.at(opened.at(descriptor).path).append(static_cast<const char*>(data), size);
        return static_cast<ssize_t>(size);
    }
    int fsync(int) override { return 0; }
    int close(int descriptor) override { return opened.erase(descriptor) ? 0 : fail(EBADF); }
    int fstat(int descriptor, struct stat& status) override
    {
        status = {};
        status.st_mode = S_IFREG | 0600;
        status.st_size = static_cast<off_t>(files.at(opened.at(descriptor).path).size());
        return 0;
    }
    int lstat(const std::string& path, struct stat& status) override
    {
        status = {};
        status.st_mode = S_IFREG | 0600;
        return files.count(path) ? 0 : fail(ENOENT);
    }
    int fchmod(int, mode_t) override { return 0; }
    int mkdir(const std::string&, mode_t) override { return fail(EEXIST); }
    int rename(const std::string& from, const std::string& to) override
    {
        files[to] = files.at(from);
        files.erase(from);
        return 0;
    }
    int unlink(const std::string& path) override { return files.erase(path) ? 0 : fail(ENOENT); }
    std::string realPath(const std::string& path) override { return files.count(path) ? path : (errno = ENOENT, ""); }

private:
    struct Open {
        std::string path;
        std::size_t position = 0;
    };
    int add(const std::string& path, bool)
    {
        opened[next] = {path, 0};
        return next++;
    }
    static int fail(int error)
    {
        errno = error;
        return -1;
    }
    std::map<int, Open> opened;
    int next = 3;
};

const std::string kPath = "/fuzz/Tikora.ini";

// Names the file has no way to mistake for something else.
constexpr const char* kSections[] = {"ViewForm", "Info", "S", "viewform"};
constexpr const char* kKeys[] = {"Adjust", "Last Updated", "Retrysecs", "K"};

// A value built from the input: no line breaks, no blanks at the ends, no
// quotes (one pair around a value is dropped on reading, as Windows does).
std::string valueFrom(const std::uint8_t* data, std::size_t size)
{
    std::string value;
    for (std::size_t i = 0; i < size && value.size() < 24; ++i)
        if (data[i] > ' ' && data[i] != '"' && data[i] != '\'' && data[i] != 0x7F)
            value += static_cast<char>(data[i]);
    return value;
}

[[noreturn]] void failed(const char* what)
{
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("XDG_CONFIG_HOME", "/fuzz", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    MemoryFileSystem memory;
    memory.files[kPath] = input;

    platform::TIniFile unchanged("Tikora.ini", memory);
    if (!unchanged.ReadError().empty())
        failed("a small regular file was not read");
    for (const char* section : kSections)
        for (const char* key : kKeys)
            (void)unchanged.ReadString(section, key, "");
    unchanged.UpdateFile();
    if (memory.files.at(kPath) != input)
        failed("an unchanged file was not written back byte for byte");
    if (memory.files.size() != 1)
        failed("a temporary file was left behind");

    const std::uint8_t pick = size > 0 ? data[0] : 0;
    const std::string section = kSections[pick & 3];
    const std::string key = kKeys[(pick >> 2) & 3];
    const std::string value = valueFrom(data, size);
    platform::TIniFile changed("Tikora.ini", memory);
    changed.WriteString(section, key, value);
    if (changed.ReadString(section, key, "<none>") != value)
        failed("a written value does not read back in memory");
    changed.UpdateFile();
    const std::string written = memory.files.at(kPath);
    platform::TIniFile reread("Tikora.ini", memory);
    if (reread.ReadString(section, key, "<none>") != value)
        failed("a written value does not read back from the file");
    reread.UpdateFile();
    if (memory.files.at(kPath) != written)
        failed("a written file did not write back byte for byte");
    return 0;
}
