#ifndef RILO_TESTS_FLATJSON_H
#define RILO_TESTS_FLATJSON_H

// The JSON lines the emulators log: one flat object per line. Shared by the
// launchers of both emulators.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// The scalar fields of one flat JSON object: strings with their decoded
// text, numbers and literals with their source text. Nested values are
// skipped. False for text that is not such an object (a line still being
// written, for one).
bool ParseFlatJson(const std::string& text, std::map<std::string, std::string>* fields);

// The objects of a JSON-lines file, in order; lines that do not parse are
// left out.
std::vector<std::map<std::string, std::string>> ReadJsonLines(const std::string& path);

// Bytes of a hex text; false for an odd length or a character that is no
// hex digit.
bool DecodeHex(const std::string& hex, std::vector<uint8_t>* out);

} // namespace testsupport

#endif
