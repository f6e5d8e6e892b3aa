// The emulated camera's event CGI for the notify session tests.
#ifndef RILO_NOTIFY_TEST_UTIL_H
#define RILO_NOTIFY_TEST_UTIL_H

#include <string>

namespace notifytest {

const char kEventPath[] = "/cgi/web_event.cgi";

// A configuration whose event CGI plays the "events" generator with args.
inline std::string EventConfig(const std::string& args, const std::string& top = "")
{
    return "{" + top + (top.empty() ? "" : ",") + R"("routes":{")" + kEventPath +
           R"(":{"body":{"generator":"events","args":)" + args + "}}}}";
}

inline std::string EventURL(int port)
{
    return "http://127.0.0.1:" + std::to_string(port) + kEventPath;
}

} // namespace notifytest

#endif
