// JSON strings for texts from outside: handles, chat and names in data files.
#pragma once

#include <string>
#include <string_view>

namespace velmora::net {

// Appends `utf8` as a JSON string, quotes included. Besides what JSON needs
// escaped, < > & and DEL become \u escapes, so that the text cannot close a
// script or a tag should the JSON ever be put into a page, and U+2028 and
// U+2029, which end a line in older JavaScript.
void AppendJsonString(std::string& out, std::string_view utf8);

}  // namespace velmora::net
