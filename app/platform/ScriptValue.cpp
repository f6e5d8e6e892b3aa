#include "ScriptValue.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace platform {

ScriptValue ScriptValue::Object(std::vector<std::pair<std::string, ScriptValue>> members)
{
    ScriptValue v;
    v.m_kind = Kind::Object;
    for (auto& m : members) {
        v.m_names.push_back(std::move(m.first));
        v.m_items.push_back(std::move(m.second));
    }
    return v;
}

ScriptValue ScriptValue::Member(const std::string& name) const
{
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i] == name)
            return m_items[i];
    return ScriptValue();
}

namespace {

// ToInt32: NaN and infinities give 0, everything else wraps modulo 2^32, so
// no number can make the conversion undefined.
int WrapToInt(double d)
{
    if (!std::isfinite(d))
        return 0;
    double t = std::trunc(d);
    double m = std::fmod(t, 4294967296.0);
    if (m < 0)
        m += 4294967296.0;
    uint32_t u = static_cast<uint32_t>(m);
    return static_cast<int>(u);
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

} // namespace

int ScriptValue::ToInt() const
{
    switch (m_kind) {
    case Kind::Number:
        return WrapToInt(m_number);
    case Kind::String: {
        size_t b = 0, e = m_string.size();
        while (b < e && IsSpace(m_string[b]))
            ++b;
        while (e > b && IsSpace(m_string[e - 1]))
            --e;
        if (b == e)
            return 0;
        std::string t = m_string.substr(b, e - b);
        if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
            char* end = nullptr;
            errno = 0;
            unsigned long long v = std::strtoull(t.c_str() + 2, &end, 16);
            if (*end != '\0')
                return 0;
            return WrapToInt(static_cast<double>(v));
        }
        char* end = nullptr;
        double d = std::strtod(t.c_str(), &end);
        if (end == t.c_str() || *end != '\0')
            return 0;
        return WrapToInt(d);
    }
    default:
        return 0;
    }
}

std::string NumberText(double n)
{
    if (std::isnan(n))
        return "NaN";
    if (std::isinf(n))
        return n < 0 ? "-Infinity" : "Infinity";
    if (n == 0)
        return "0";
    if (n == std::trunc(n) && std::fabs(n) < 1e21) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.0f", n);
        return buf;
    }
    char buf[40];
    for (int prec = 1; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, n);
        if (std::strtod(buf, nullptr) == n)
            break;
    }
    return buf;
}

std::string ScriptValue::ToText() const
{
    switch (m_kind) {
    case Kind::String:
        return m_string;
    case Kind::Number:
        return NumberText(m_number);
    default:
        return std::string();
    }
}

} // namespace platform
