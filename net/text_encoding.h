// Conversion between the program's UTF-8 text and the CP932 (Shift-JIS) text
// of the data files and the wire. Used at those two boundaries only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::net {

struct TextConversion {
  std::string Text;        // the converted text; what came before the error when !Ok
  bool Ok = true;          // false: the input holds a sequence the other side cannot express
  std::size_t ErrorOffset = 0;  // byte offset of the first bad sequence in the input
};

TextConversion Cp932ToUtf8(std::string_view cp932);
TextConversion Utf8ToCp932(std::string_view utf8);

}  // namespace velmora::net
