#include "platform/SysUtils.h"

#include <charconv>
#include <optional>

namespace platform {

Exception::Exception(string message) : FMessage(std::move(message)), FWhat(ToUTF8String(FMessage)) {}

string Exception::Format(std::u16string_view format, std::initializer_list<string> args) {
  string out;
  auto arg = args.begin();
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() && (format[i + 1] == u'd' || format[i + 1] == u's')) {
      if (arg != args.end()) out += *arg++;
      ++i;
    } else {
      out += format[i];
    }
  }
  return out;
}

namespace {

// UTF-8 of text through put. A lone surrogate code unit goes to lone(unit, put), which writes
// what stands for it.
template <class Sink, class Lone>
void EncodeCodePoints(std::u16string_view text, Sink&& put, Lone&& lone) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      lone(text[i], put);
      continue;
    }
    if (c < 0x80) {
      put(static_cast<std::uint8_t>(c));
    } else if (c < 0x800) {
      put(static_cast<std::uint8_t>(0xC0 | (c >> 6)));
      put(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      put(static_cast<std::uint8_t>(0xE0 | (c >> 12)));
      put(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
      put(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
    } else {
      put(static_cast<std::uint8_t>(0xF0 | (c >> 18)));
      put(static_cast<std::uint8_t>(0x80 | ((c >> 12) & 0x3F)));
      put(static_cast<std::uint8_t>(0x80 | ((c >> 6) & 0x3F)));
      put(static_cast<std::uint8_t>(0x80 | (c & 0x3F)));
    }
  }
}

template <class Sink>
void EncodeCodePoints(std::u16string_view text, Sink&& put) {
  EncodeCodePoints(text, put, [](char16_t, auto&& sink) {  // U+FFFD
    sink(std::uint8_t{0xEF});
    sink(std::uint8_t{0xBF});
    sink(std::uint8_t{0xBD});
  });
}

[[noreturn]] void RaiseNoMapping() { throw EEncodingError(string(kNoMappingMessage)); }

// The bytes 0x80 to 0xFF that are not part of valid UTF-8 travel as these lone surrogates.
constexpr char16_t kEscapeBase = 0xDC00;
constexpr char16_t kEscapeFirst = 0xDC80;
constexpr char16_t kEscapeLast = 0xDCFF;

// Decodes UTF-8 into out. At a byte that does not begin a valid sequence, invalid(byte, out)
// decides: it raises, or appends what stands for that one byte, and decoding goes on after it.
template <class Invalid>
string DecodeCodePoints(std::span<const std::uint8_t> bytes, Invalid&& invalid) {
  string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::uint8_t b0 = bytes[i];
    if (b0 < 0x80) {
      out += static_cast<char16_t>(b0);
      ++i;
      continue;
    }
    std::size_t extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      extra = 1, c = b0 & 0x1F, minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      extra = 2, c = b0 & 0x0F, minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      extra = 3, c = b0 & 0x07, minimum = 0x10000;
    }
    bool valid = extra > 0 && bytes.size() - i > extra;
    for (std::size_t k = 1; valid && k <= extra; ++k) {
      const std::uint8_t b = bytes[i + k];
      valid = (b & 0xC0) == 0x80;
      c = (c << 6) | (b & 0x3F);
    }
    valid = valid && c >= minimum && c <= 0x10FFFF && !(c >= 0xD800 && c <= 0xDFFF);
    if (!valid) {
      invalid(b0, out);
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += extra + 1;
  }
  return out;
}

}  // namespace

TBytes EncodeUTF8(std::u16string_view text) {
  // Sized exactly first: the text is often a key, and a growing buffer would release a copy of
  // its first bytes unwiped on every reallocation.
  std::size_t n = 0;
  EncodeCodePoints(text, [&](std::uint8_t) { ++n; });
  TBytes out;
  out.reserve(n);
  EncodeCodePoints(text, [&](std::uint8_t b) { out.push_back(b); });
  return out;
}

std::string ToUTF8String(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  EncodeCodePoints(text, [&](std::uint8_t b) { out.push_back(static_cast<char>(b)); });
  return out;
}

string DecodeUTF8(std::span<const std::uint8_t> bytes) {
  return DecodeCodePoints(bytes, [](std::uint8_t, string&) { RaiseNoMapping(); });
}

string FromUTF8(std::string_view text) {
  return DecodeUTF8({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

string IntToStr(std::int64_t value) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  (void)ec;
  return string(buf, end);
}

string ShownCharacter(char16_t c) {
  if (c >= 0x20 && c <= 0x7E) return string(u"'") + c + u"'";
  constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  string shown = u"U+";
  for (int shift = 12; shift >= 0; shift -= 4) shown += kDigits[(c >> shift) & 0xF];
  return shown;
}

string DecodeFileSystemText(std::string_view bytes) {
  return DecodeCodePoints({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()},
                          [](std::uint8_t b, string& out) { out += static_cast<char16_t>(kEscapeBase + b); });
}

std::optional<std::string> EncodeFileSystemText(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  bool representable = true;
  EncodeCodePoints(
      text, [&](std::uint8_t b) { out.push_back(static_cast<char>(b)); },
      [&](char16_t unit, auto&& put) {
        if (unit >= kEscapeFirst && unit <= kEscapeLast) put(static_cast<std::uint8_t>(unit - kEscapeBase));
        else representable = false;
      });
  if (!representable) return std::nullopt;
  return out;
}

}  // namespace platform
