// Paths as text, the way std::filesystem::path reads them on a POSIX system: its folder, its file
// name, a name joined to it, its elements and its lexical normal form. A run needs no more than
// these, and they spare it std::filesystem's path and file operations, which are a large part of
// the C++ runtime's code and would otherwise be loaded only for them.
#pragma once

#include <string>
#include <vector>

namespace wavsplice {

// The path without its last element ("a/b" -> "a", "/a" -> "/", "a" -> "", "a/b/" -> "a/b"); a path
// of separators only, or an empty one, is itself.
std::string ParentPath(const std::string& path);

// The last element when it is a name ("a/b" -> "b"); empty when the path ends in a separator or is
// empty.
std::string FileName(const std::string& path);

// next appended to path as its last element, with one separator between them where path does not
// already end in one ("a" + "b" -> "a/b", "/" + "b" -> "/b", "a" + "" -> "a/"). An absolute next,
// or an empty path, gives next.
std::string JoinPath(const std::string& path, const std::string& next);

// The elements in order: "/" for a leading root, each name between separators, and an empty last
// element for a trailing separator ("/a//b/" -> "/", "a", "b", ""). A path of separators only is
// one element.
std::vector<std::string> PathElements(const std::string& path);

// The lexical normal form: separators collapsed, "." elements removed, each name followed by ".."
// removed with it, ".." right after the root removed, no separator after a last "..", and "." for a
// path that ends up empty. An empty path, or one of separators only, stays as it is.
std::string LexicallyNormal(const std::string& path);

}  // namespace wavsplice
