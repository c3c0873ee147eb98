#include "common/path_text.h"

namespace wavsplice {

std::string ParentPath(const std::string& path) {
  if (path.find_first_not_of('/') == std::string::npos) return path;
  const size_t lastSeparator = path.rfind('/');
  if (lastSeparator == std::string::npos) return "";
  // The element before the last one ends where the separators before the last one begin; when only
  // the root is before them, the parent is the root.
  const size_t end = path.find_last_not_of('/', lastSeparator);
  return end == std::string::npos ? "/" : path.substr(0, end + 1);
}

std::string FileName(const std::string& path) {
  if (path.empty() || path.back() == '/') return "";
  const size_t lastSeparator = path.rfind('/');
  return lastSeparator == std::string::npos ? path : path.substr(lastSeparator + 1);
}

std::string JoinPath(const std::string& path, const std::string& next) {
  if (path.empty() || (!next.empty() && next[0] == '/')) return next;
  if (path.back() != '/') return path + "/" + next;
  return path + next;
}

std::vector<std::string> PathElements(const std::string& path) {
  std::vector<std::string> elements;
  // A path of separators only is one root element, all of them.
  if (!path.empty() && path.find_first_not_of('/') == std::string::npos) return {path};
  size_t at = 0;
  if (!path.empty() && path[0] == '/') {
    elements.push_back("/");
    at = path.find_first_not_of('/');
  }
  while (at < path.size()) {
    const size_t end = path.find('/', at);
    elements.push_back(path.substr(at, end - at));
    if (end == std::string::npos) break;
    at = path.find_first_not_of('/', end);
    if (at == std::string::npos) elements.push_back("");
  }
  return elements;
}

std::string LexicallyNormal(const std::string& path) {
  if (path.find_first_not_of('/') == std::string::npos) return path;  // empty or the root alone
  const bool root = path[0] == '/';
  std::vector<std::string> names;
  // Whether the form ends in a separator: after a last name followed by one, or where a last "." or
  // a last name with its ".." was removed.
  bool trailing = false;
  for (const std::string& element : PathElements(path)) {
    if (element.empty()) {
      trailing = true;  // a separator ends the path
    } else if (element[0] == '/') {
      continue;  // the root, kept apart
    } else if (element == ".") {
      trailing = true;
    } else if (element != "..") {
      names.push_back(element);
      trailing = false;
    } else if (!names.empty() && names.back() != "..") {
      names.pop_back();
      trailing = true;
    } else if (!root) {
      names.push_back(element);
      trailing = false;
    }
  }
  std::string normal = root ? "/" : "";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) normal += '/';
    normal += names[i];
  }
  if (trailing && !names.empty() && names.back() != "..") normal += '/';
  return normal.empty() ? "." : normal;
}

}  // namespace wavsplice
