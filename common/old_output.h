#pragma once

#include <string>

// Removes what an earlier run left at `path`, so that a new movie never
// builds on an old file. Only a regular file or a symbolic link (the link,
// not its target) is removed: a device, a pipe or a directory named as the
// output stays. Both tools often run as root, where removing /dev/null or
// /dev/full would break the machine for everyone. Errors are ignored; the
// writer reports whatever then stands in its way.
void removeOldOutput(const std::string& path);
