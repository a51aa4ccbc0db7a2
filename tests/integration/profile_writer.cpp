// Writes the settings file the way the program does, for the end-to-end
// tests of full disks and kills:
//   profile_writer set CONFIG_DIR SECTION KEY VALUE   one write; 1 and the report on failure
//   profile_writer loop CONFIG_DIR SECTION KEY A B    writes A and B in turn until killed
// The loop stops by itself after 200000 writes or 120 s, should nobody kill it.
#include "platform/exception.h"
#include "platform/private_profile.h"

#include <cstdlib>

#include <chrono>
#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (!((command == "set" && argc == 6) || (command == "loop" && argc == 7))) {
        std::fprintf(stderr, "usage: profile_writer set DIR SECTION KEY VALUE | loop DIR SECTION KEY A B\n");
        return 2;
    }
    setenv("XDG_CONFIG_HOME", argv[2], 1);
    const std::string fileName = "Tikora.ini";
    try {
        if (command == "set") {
            platform::TIniFile file(fileName);
            file.WriteString(argv[3], argv[4], argv[5]);
            file.UpdateFile();
            return 0;
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        std::printf("started\n");
        std::fflush(stdout);
        for (int i = 0; i < 200000 && std::chrono::steady_clock::now() < end; ++i) {
            platform::TIniFile file(fileName);
            file.WriteString(argv[3], argv[4], argv[5 + i % 2]);
            file.UpdateFile();
        }
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
