#ifndef RILO_APP_DESKTOPTEXT_H
#define RILO_APP_DESKTOPTEXT_H

// Texts of the desktop services: bookmark files and the names and paths the
// page's texts go into.

#include <string>
#include <vector>

namespace desktoptext {

// The bookmark file, a property list; "%@" takes the address.
extern const char WeblocTemplate[];

// format with each "%@" replaced by the next argument (a missing one by
// nothing); the arguments themselves are not scanned.
std::string FormatObjects(const char* format, const std::vector<std::string>& args);

// The eight characters after the first "//" of a cloud address, whose first
// "." lies right after them; otherwise "".
std::string CloudID(const std::string& address);

// "&", "<" and ">" as XML entities.
std::string EscapeXml(const std::string& text);

// The bookmark file's text for address, or false when the address holds a
// byte outside printable ASCII: an ASCII property list cannot carry it.
bool WeblocText(const std::string& address, std::string* out);

// A page text as part of a file name: "/" and control characters become
// "_", so the name stays one file in its folder.
std::string FileNamePart(const std::string& text);

// Whether name may pick a file of a folder: no "/" and no NUL.
bool IsPlainName(const std::string& name);

} // namespace desktoptext

#endif
