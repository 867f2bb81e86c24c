// The library's own guard in front of the platform's file system. Every folder
// name the library checks or creates passes through here first: a name holding a
// NUL byte or another control character is refused with error 52 ("Bad file name
// or number"), and, when the platform sets an export root, a folder that resolves
// outside it (through ".." or a symbolic link) is refused with error 70
// ("Permission denied"); only whether one of the root's own parents exists may
// be asked, since making a folder walks down from the top. Only then is the
// platform asked.
//
// Threading: as the platform seam; no state of its own.
#pragma once

#include <string_view>

namespace corvane {

// Platform().PathExists(path) once the name and the export root allow it.
bool FolderExists(std::string_view path);
// Platform().CreateDirectory(path) once the name and the export root allow it.
void CreateFolder(std::string_view path);

}  // namespace corvane
