#ifndef RILO_APP_SCRIPTVALUE_H
#define RILO_APP_SCRIPTVALUE_H

// A value crossing between the bridge and page scripts: what a method takes
// and what a method or a field gives back.

#include <string>
#include <utility>
#include <vector>

namespace platform {

class ScriptValue {
public:
    enum class Kind { Undefined, Null, Number, String, Array, Object };

    ScriptValue() = default;
    static ScriptValue Null()
    {
        ScriptValue v;
        v.m_kind = Kind::Null;
        return v;
    }
    static ScriptValue Number(double n)
    {
        ScriptValue v;
        v.m_kind = Kind::Number;
        v.m_number = n;
        return v;
    }
    static ScriptValue String(std::string s)
    {
        ScriptValue v;
        v.m_kind = Kind::String;
        v.m_string = std::move(s);
        return v;
    }
    static ScriptValue Array(std::vector<ScriptValue> items)
    {
        ScriptValue v;
        v.m_kind = Kind::Array;
        v.m_items = std::move(items);
        return v;
    }
    // Members keep their order, so a record reads like its declaration.
    static ScriptValue Object(std::vector<std::pair<std::string, ScriptValue>> members);

    Kind kind() const { return m_kind; }
    bool IsUndefined() const { return m_kind == Kind::Undefined; }
    double number() const { return m_number; }
    const std::string& string() const { return m_string; }
    const std::vector<ScriptValue>& items() const { return m_items; }
    const std::vector<std::string>& names() const { return m_names; }

    // An int parameter: the number converted as script integers are (modulo
    // 2^32), a string's numeric value; anything else 0.
    int ToInt() const;
    // A string parameter: the string, or a number's text; undefined and null
    // give "" so that no method ever sees a missing text.
    std::string ToText() const;

    // The member of an object, or undefined.
    ScriptValue Member(const std::string& name) const;

private:
    Kind m_kind = Kind::Undefined;
    double m_number = 0;
    std::string m_string;
    std::vector<ScriptValue> m_items; // array items, or object member values
    std::vector<std::string> m_names; // object member names
};

using ScriptArgs = std::vector<ScriptValue>;

// The script text of a number as the page's own engine writes it ("3", "-1",
// "0.5").
std::string NumberText(double n);

} // namespace platform

#endif
