// Replacing an install folder with its staged successor, as the small helper `quillbay-swap` does once the
// program has quit, and starting what is then in place. Plain POSIX and the C++ library, so that the
// helper loads nothing that lives in the folders it renames.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

namespace FolderSwap {

// Names beside the install folder "X": the staged successor, the previous version kept until the new one
// has started, and a successor that did not start, on its way out.
inline constexpr char kStagingSuffix[] = ".new";
inline constexpr char kOldSuffix[] = ".old";
inline constexpr char kFailedSuffix[] = ".failed";
// The lock held by whoever is changing those folders: the program while it stages, the helper until it
// has finished. A start of the program leaves them alone while someone holds it.
inline constexpr char kLockName[] = "swap.lock";
// The descriptor on which the program hands its lock over to the helper.
inline constexpr int kHandOverFd = 3;
// The file that marks a folder as an install folder the program may replace.
inline constexpr char kMarker[] = ".quillbay-bundle";

// How long the helper waits for the program to end, and for the new version to prove it starts: still
// running after that long, or ended with status 0.
inline constexpr int kExitWaitMs = 10000;
inline constexpr int kStartWaitMs = 3000;
// How long a program that outlived kExitWaitMs and was killed may take to be gone.
inline constexpr int kKillWaitMs = 2000;

struct Args {
    pid_t pid = 0;           // the program that must have ended first
    std::string destination; // the install folder
    std::string staging;     // its successor, beside it on the same file system
    std::string archive;     // the downloaded archive, removed once the new version is in place
    std::string lockFile;
};

// The helper's command line after the program name: pid destination staging archive lockfile.
std::vector<std::string> arguments(const Args& args);
std::optional<Args> parseArguments(const std::vector<std::string>& arguments);

// Puts `incoming` at `destination` and what was there at `aside`, in one step where the file system can
// exchange two names (renameat2 with RENAME_EXCHANGE): `destination` never stops existing. Elsewhere it
// takes two renames, between which there is no `destination`, only `aside`; a start of the program from
// `aside` puts the name back. False (errno set) when nothing changed.
bool replace(const std::string& destination, const std::string& incoming, const std::string& aside);

// Takes the lock: descriptor `handOverFd` when it is open on `lockFile`, else the file itself, opened
// (0600) and locked without waiting. The descriptor (close-on-exec), or -1 when someone else holds it.
int takeLock(const std::string& lockFile, int handOverFd);

// The whole swap: waits for the program to end (at most kExitWaitMs, then it is killed), puts the staged
// folder in place, starts it, and puts the previous version back (and starts it) when the new one fails to
// start. Quit signals are ignored, so that only SIGKILL or a power cut can stop it half-way. Returns the exit
// status: 0 installed, 1 the previous version is (still or again) in place, 2 another swap holds the lock.
int run(const Args& args, int handOverFd = -1);

// A folder that holds a program: "bin/quillbay" executable and the install marker.
bool holdsProgram(const std::string& folder);

// Writes "[Quillbay] " + message to syslog and standard error, as the program's log does.
void note(const std::string& message);

} // namespace FolderSwap
