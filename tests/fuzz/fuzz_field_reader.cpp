// Reads fields of every kind from arbitrary text, in an order the input
// chooses, and checks the readers' promises: they only ever shorten the text,
// a failed number removes nothing, a read number survives a round trip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "net/field_reader.h"
#include "net/text_encoding.h"

using velmora::net::FieldReader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const uint8_t ops = data[0];
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

  FieldReader reader(text);
  for (int step = 0; step < 64 && !reader.Rest().empty(); ++step) {
    const std::string_view before = reader.Rest();
    switch ((ops >> ((step % 4) * 2)) & 3) {
      case 0: {
        const auto value = reader.ReadInteger();
        if (!value && reader.Rest() != before) std::abort();
        if (value && velmora::net::ParseIntegerField(std::to_string(*value)) != value) std::abort();
        break;
      }
      case 1: {
        const auto value = reader.ReadFloat();
        if (!value && reader.Rest() != before) std::abort();
        break;
      }
      case 2:
        reader.ReadText();
        break;
      case 3:
        reader.ReadBits();
        break;
    }
    if (reader.Rest().size() > before.size()) std::abort();
    if (reader.Rest().size() == before.size() && reader.Rest().data() != before.data()) std::abort();
  }

  // Conversions either succeed or report where they stopped inside the input.
  const auto utf8 = velmora::net::Cp932ToUtf8(text);
  if (!utf8.Ok && utf8.ErrorOffset > text.size()) std::abort();
  const auto cp932 = velmora::net::Utf8ToCp932(text);
  if (!cp932.Ok && cp932.ErrorOffset > text.size()) std::abort();
  // Every character that came from CP932 converts back.
  if (utf8.Ok && !velmora::net::Utf8ToCp932(utf8.Text).Ok) std::abort();
  return 0;
}
