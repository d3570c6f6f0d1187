#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

// Whether the folder that holds `path`, with every link in it resolved, is
// /dev, /proc or /sys or lies below one of them: /dev/stdout, /proc/self/fd/1
// and a link into /dev all count.
bool isInsideSystemFolder(const std::string& path);

// Removes what an earlier run left at `path`, so that a new movie never
// builds on an old file: a regular file, a symbolic link (the link, not its
// target), a FIFO or a socket. A device or a folder stays, and nothing inside
// a system folder is ever removed: both tools often run as root, where
// removing /dev/stdout or /dev/null would break the machine for everyone.
// Errors are ignored; the writer reports whatever then stands in its way.
void removeOldOutput(const std::string& path);

// Identifies one file on one file system.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
};

// Creates a new, empty regular file at `path`, never opening or following
// anything that is already there (so a FIFO cannot block and a device or a
// folder is refused). Nothing when the file could not be created.
std::optional<FileIdentity> createNewFile(const std::string& path);

// A movie is written beside its output, under a hidden name of its own, and
// moved into place only once it is complete: a run that fails, at whatever
// step, leaves whatever stood at the output as it was.
struct StagingFile {
  std::string path;
  FileIdentity identity;
};

// Checks that a movie may take the place of what stands at `output` (not a
// folder or a device, nothing in a system folder, nothing another user owns
// in a sticky folder such as /tmp) and creates the new, empty staging file in
// the output's folder. Nothing, with the reason in `reason`, when it cannot:
// a missing folder, a read-only file system, no permission.
std::optional<StagingFile> createStagingFile(const std::string& output, std::string* reason);

// Puts the complete movie at `output`, replacing an old file, link, FIFO or
// socket there (a link itself, never its target). False with the reason.
bool moveIntoPlace(const StagingFile& staging, const std::string& output, std::string* reason);

// Removes the staging file, if what stands at its path is still the one
// created.
void removeStagingFile(const StagingFile& staging);
