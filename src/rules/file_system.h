// The library's own guard in front of the platform's file system. Every folder
// name the library checks or creates passes through here first: a name holding a
// NUL byte or another control character is refused with error 52 ("Bad file name
// or number"), and, when the platform sets an export root, a folder that resolves
// outside it (through ".." or a symbolic link) is refused with error 70
// ("Permission denied"); only whether one of the root's own parents exists may
// be asked, since making a folder walks down from the top. Only then is the
// platform asked. A folder is made relative to the root the check resolved,
// so that nothing swapped in after the check can carry it outside.
//
// Threading: as the platform seam; no state of its own.
#pragma once

#include <string_view>

namespace corvane {

// Platform().PathExists(path) once the name and the export root allow it.
bool FolderExists(std::string_view path);
// Raises as the guard does unless the folder itself lies inside the export root
// (the root included, its parents not), so that a target outside it is refused
// before anything is asked or made.
void CheckFolderInsideRoot(std::string_view path);
// Creates the folder once the name and the export root allow it: with a root,
// through Platform().CreateDirectoryBelow, relative to the root as resolved;
// without one, through Platform().CreateDirectory(path).
void CreateFolder(std::string_view path);

}  // namespace corvane
