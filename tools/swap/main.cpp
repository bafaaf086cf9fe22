// quillbay-swap PID DESTINATION STAGING ARCHIVE LOCKFILE: started by the program just before it quits for
// an update; it outlives the program, swaps the install folders and starts the result.
#include "platform/FolderSwap.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const auto args = FolderSwap::parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!args) {
        std::fprintf(stderr, "usage: quillbay-swap PID DESTINATION STAGING ARCHIVE LOCKFILE\n");
        return 64;
    }
    return FolderSwap::run(*args, FolderSwap::kHandOverFd);
}
