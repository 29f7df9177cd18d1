#include "net/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

namespace velmora::net {
namespace {

// One iconv descriptor per direction, opened on first use and kept: opening
// one loads the conversion tables.
class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("text conversion from ") + from + " to " + to +
                               " is not available");
    }
  }
  ~Converter() { iconv_close(handle_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  TextConversion Convert(std::string_view input) {
    TextConversion result;
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    // CP932 to UTF-8 grows at most 3/2 per character, UTF-8 to CP932 shrinks.
    std::string out(input.size() * 2 + 16, '\0');
    std::size_t produced = 0;
    while (inLeft > 0) {
      char* outPtr = out.data() + produced;
      std::size_t outLeft = out.size() - produced;
      const std::size_t rc = iconv(handle_, &in, &inLeft, &outPtr, &outLeft);
      produced = out.size() - outLeft;
      if (rc != static_cast<std::size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      // EILSEQ: an invalid sequence; EINVAL: the input ends inside a character.
      result.Ok = false;
      result.ErrorOffset = input.size() - inLeft;
      break;
    }
    out.resize(produced);
    result.Text = std::move(out);
    return result;
  }

 private:
  iconv_t handle_;
};

}  // namespace

TextConversion Cp932ToUtf8(std::string_view cp932) {
  static Converter converter("UTF-8", "CP932");
  return converter.Convert(cp932);
}

TextConversion Utf8ToCp932(std::string_view utf8) {
  static Converter converter("CP932", "UTF-8");
  return converter.Convert(utf8);
}

}  // namespace velmora::net
