#include "DesktopText.h"

#include <cstring>

namespace desktoptext {

const char WeblocTemplate[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
                              "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                              "<plist version=\"1.0\">\n"
                              "<dict>\n"
                              "<key>URL</key>\n"
                              "<string>%@</string>\n"
                              "</dict>\n"
                              "</plist>\n";
static_assert(sizeof WeblocTemplate - 1 == 223, "the bookmark template is 223 characters");

std::string FormatObjects(const char* format, const std::vector<std::string>& args)
{
    std::string out;
    size_t next = 0;
    for (const char* p = format; *p; ++p) {
        if (p[0] == '%' && p[1] == '@') {
            if (next < args.size())
                out += args[next];
            ++next;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

std::string CloudID(const std::string& address)
{
    constexpr size_t kLength = 8;
    size_t slashes = address.find("//");
    size_t dot = address.find('.');
    if (slashes == std::string::npos || dot == std::string::npos || dot != slashes + 2 + kLength)
        return "";
    return address.substr(slashes + 2, kLength);
}

std::string EscapeXml(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

bool WeblocText(const std::string& address, std::string* out)
{
    for (unsigned char c : address)
        if (c < 0x20 || c > 0x7E)
            return false;
    *out = FormatObjects(WeblocTemplate, {EscapeXml(address)});
    return true;
}

std::string FileNamePart(const std::string& text)
{
    std::string out = text;
    for (char& c : out) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '/' || u < 0x20 || u == 0x7F)
            c = '_';
    }
    return out;
}

bool IsPlainName(const std::string& name)
{
    return name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace desktoptext
