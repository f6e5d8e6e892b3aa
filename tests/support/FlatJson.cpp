#include "FlatJson.h"

#include <fstream>

namespace testsupport {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

class FlatJson {
public:
    explicit FlatJson(const std::string& text) : m_s(text) {}

    bool Parse(std::map<std::string, std::string>& out)
    {
        Blank();
        if (!Take('{'))
            return false;
        Blank();
        if (Take('}'))
            return true;
        for (;;) {
            std::string key, value;
            Blank();
            if (!String(key))
                return false;
            Blank();
            if (!Take(':'))
                return false;
            Blank();
            if (Peek() == '"') {
                if (!String(value))
                    return false;
                out[key] = value;
            } else if (Peek() == '{' || Peek() == '[') {
                if (!SkipNested())
                    return false;
            } else {
                size_t start = m_i;
                while (m_i < m_s.size() && m_s[m_i] != ',' && m_s[m_i] != '}' && m_s[m_i] != ' ')
                    ++m_i;
                if (m_i == start)
                    return false;
                out[key] = m_s.substr(start, m_i - start);
            }
            Blank();
            if (Take('}'))
                return true;
            if (!Take(','))
                return false;
        }
    }

private:
    char Peek() const { return m_i < m_s.size() ? m_s[m_i] : '\0'; }
    bool Take(char c)
    {
        if (Peek() != c)
            return false;
        ++m_i;
        return true;
    }
    void Blank()
    {
        while (m_i < m_s.size() && (m_s[m_i] == ' ' || m_s[m_i] == '\t'))
            ++m_i;
    }
    bool String(std::string& out)
    {
        if (!Take('"'))
            return false;
        while (m_i < m_s.size()) {
            char c = m_s[m_i++];
            if (c == '"')
                return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_i >= m_s.size())
                return false;
            char e = m_s[m_i++];
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'u': {
                if (m_i + 4 > m_s.size())
                    return false;
                unsigned v = 0;
                for (int k = 0; k < 4; ++k) {
                    int h = HexDigit(m_s[m_i++]);
                    if (h < 0)
                        return false;
                    v = v * 16 + static_cast<unsigned>(h);
                }
                // The log carries only ASCII text; wider code points are not needed.
                out += v < 0x80 ? static_cast<char>(v) : '?';
                break;
            }
            default:
                out += e;
                break;
            }
        }
        return false;
    }
    bool SkipNested()
    {
        int depth = 0;
        while (m_i < m_s.size()) {
            char c = Peek();
            if (c == '"') {
                std::string ignored;
                if (!String(ignored))
                    return false;
                continue;
            }
            ++m_i;
            if (c == '{' || c == '[')
                ++depth;
            else if ((c == '}' || c == ']') && --depth == 0)
                return true;
        }
        return false;
    }

    const std::string& m_s;
    size_t m_i = 0;
};

} // namespace

bool ParseFlatJson(const std::string& text, std::map<std::string, std::string>* fields)
{
    return FlatJson(text).Parse(*fields);
}

std::vector<std::map<std::string, std::string>> ReadJsonLines(const std::string& path)
{
    std::vector<std::map<std::string, std::string>> out;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        std::map<std::string, std::string> fields;
        if (ParseFlatJson(line, &fields))
            out.push_back(std::move(fields));
    }
    return out;
}

bool DecodeHex(const std::string& hex, std::vector<uint8_t>* out)
{
    if (hex.size() % 2)
        return false;
    out->clear();
    out->reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        out->push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

} // namespace testsupport
