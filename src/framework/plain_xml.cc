// The plain-XML verdict: one pass over the bytes that recognises the small,
// plain part of XML item lists are written in.
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

#include "framework/xml.h"

namespace corvane {
namespace {

// Almost every item list is written in a small, plain part of XML: one root
// element, ASCII names without prefixes, quoted attribute values, the five
// predefined entities and character references, comments and CDATA. For such a
// text one pass over the bytes can tell that it is well-formed, several times
// faster than a full parser. The scan is deliberately conservative: whatever it
// does not fully understand (a document type, a processing instruction, a
// prefix, a name outside ASCII, a second root, deep nesting, very long tokens)
// answers "not decided here" and the full parser decides.

// Byte classes, one bit per question the scan asks of a byte.
constexpr uint8_t kPlainInValue = 1;  // needs no attention inside an attribute value
constexpr uint8_t kPlainInText = 2;   // needs no attention in character data
constexpr uint8_t kNameStart = 4;
constexpr uint8_t kNameByte = 8;
constexpr uint8_t kSpace = 16;
constexpr uint8_t kPlainChar = 32;  // an ASCII character XML allows anywhere

constexpr std::array<uint8_t, 256> MakeByteClasses() {
  std::array<uint8_t, 256> classes{};
  for (int c = 0x20; c < 0x7F; ++c) {
    if (c != '<' && c != '&' && c != '"' && c != '\'') classes[c] |= kPlainInValue;
    if (c != '<' && c != '&' && c != ']') classes[c] |= kPlainInText;
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter || c == '_') classes[c] |= kNameStart | kNameByte;
    if ((c >= '0' && c <= '9') || c == '-' || c == '.') classes[c] |= kNameByte;
    classes[c] |= kPlainChar;
  }
  for (int c : {'\t', '\n', '\r'}) classes[c] |= kPlainInValue | kPlainInText | kPlainChar;
  for (int c : {' ', '\t', '\n', '\r'}) classes[c] |= kSpace;
  return classes;
}
constexpr std::array<uint8_t, 256> kByteClasses = MakeByteClasses();

// libxml2 refuses nesting deeper than 256 levels, names longer than 50,000
// bytes and values longer than 10 MB; the scan leaves anything near these
// limits to it.
constexpr size_t kMaxPlainDepth = 200;
constexpr size_t kMaxPlainToken = 1'000'000;
constexpr size_t kMaxPlainName = 1'000;
// Repeated attributes are found by comparing each name with the element's earlier ones.
constexpr size_t kMaxPlainAttributes = 32;
// libxml2 keeps each distinct name in a dictionary it caps at 10 MB, pools
// included; the scan leaves texts with more than this many bytes of names it
// has not just seen to it.
constexpr size_t kMaxPlainNewNameBytes = 1'000'000;
constexpr size_t kRecentNames = 64;

class PlainXmlScanner {
  struct Span {
    const char* data;
    size_t size;
    std::string_view view() const { return {data, size}; }
  };

 public:
  explicit PlainXmlScanner(std::string_view text)
      : p_(text.data()), end_(text.data() + text.size()) {}

  // True only when the text is certainly well-formed.
  bool Scan() {
    if (StartsWith("<?xml") && !Declaration()) return false;
    size_t depth = 0;
    bool root_seen = false;
    std::array<std::string_view, kMaxPlainDepth + 1> open;
    while (p_ < end_) {
      if (*p_ != '<') {
        if (depth == 0 ? !SpaceAtTop() : !Text()) return false;
        continue;
      }
      if (end_ - p_ < 2) return false;
      const char next = p_[1];
      if (next == '/') {
        if (depth == 0) return false;
        p_ += 2;
        std::string_view name;
        if (!Name(name) || name != open[depth - 1]) return false;
        SkipSpaces();
        if (!Expect('>')) return false;
        --depth;
      } else if (next == '!') {
        if (StartsWith("<!--")) {
          if (!Comment()) return false;
        } else if (depth > 0 && StartsWith("<![CDATA[")) {
          if (!CData()) return false;
        } else {
          return false;  // a document type or a malformed section
        }
      } else if (next == '?') {
        return false;  // processing instructions are left to the full parser
      } else {
        if (depth == 0 && root_seen) return false;
        ++p_;
        std::string_view name;
        bool empty = false;
        if (!StartTag(name, empty)) return false;
        if (depth == 0) root_seen = true;
        if (!empty) {
          if (depth == kMaxPlainDepth) return false;
          open[depth++] = name;
        }
      }
    }
    return root_seen && depth == 0;
  }

 private:
  bool StartsWith(std::string_view prefix) const {
    return static_cast<size_t>(end_ - p_) >= prefix.size() &&
           std::string_view(p_, prefix.size()) == prefix;
  }
  static uint8_t ClassOf(char c) { return kByteClasses[static_cast<unsigned char>(c)]; }
  bool Expect(char c) {
    if (p_ == end_ || *p_ != c) return false;
    ++p_;
    return true;
  }
  bool SkipSpaces() {
    const char* start = p_;
    while (p_ < end_ && (ClassOf(*p_) & kSpace)) ++p_;
    return p_ != start;
  }

  // An ASCII name without a colon that does not begin with the reserved "xml".
  bool Name(std::string_view& name) {
    const char* start = p_;
    if (p_ == end_ || !(ClassOf(*p_) & kNameStart)) return false;
    ++p_;
    while (p_ < end_ && (ClassOf(*p_) & kNameByte)) ++p_;
    name = std::string_view(start, static_cast<size_t>(p_ - start));
    if (name.size() > kMaxPlainName || !Remember(name)) return false;
    if (name.size() >= 3 && (name[0] | 0x20) == 'x' && (name[1] | 0x20) == 'm' &&
        (name[2] | 0x20) == 'l')
      return false;
    return true;
  }

  // Skips the bytes of class `plain`: sixteen at a time while none of them is
  // "<", "&", `a`, `b`, a control character, DEL or a byte from 0x80 on (all of
  // which are left to the byte loop), then byte by byte.
  template <char a, char b>
  void SkipPlain(uint8_t plain) {
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i below_space = _mm_set1_epi8(0x20);
    while (end_ - p_ >= 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_));
      // A signed comparison also catches every byte from 0x80 on.
      __m128i special = _mm_cmplt_epi8(bytes, below_space);
      special = _mm_or_si128(special, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F)));
      special = _mm_or_si128(special, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('<')));
      special = _mm_or_si128(special, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('&')));
      special = _mm_or_si128(special, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(a)));
      special = _mm_or_si128(special, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(b)));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(special));
      if (mask != 0) {
        p_ += std::countr_zero(mask);
        break;
      }
      p_ += 16;
    }
#endif
    while (p_ < end_ && (ClassOf(*p_) & plain)) ++p_;
  }

  // Whether the name at `seen`, earlier in the text, equals `name` (of the same
  // length). Most names are at most eight bytes: one load compares them.
  bool SameName(const char* seen, std::string_view name) const {
    const size_t size = name.size();
    if constexpr (std::endian::native == std::endian::little) {
      if (size <= 8 && end_ - name.data() >= 8) {
        uint64_t a;
        uint64_t b;
        std::memcpy(&a, seen, 8);
        std::memcpy(&b, name.data(), 8);
        const uint64_t mask = size == 8 ? ~uint64_t{0} : (uint64_t{1} << (size * 8)) - 1;
        return ((a ^ b) & mask) == 0;
      }
    }
    return std::string_view(seen, size) == name;
  }

  // Counts the bytes of names not among the recently seen ones, which bounds
  // the bytes of distinct names from above (a list repeats a handful of names).
  bool Remember(std::string_view name) {
    const size_t size = name.size();
    Span& slot = recent_[size % kRecentNames];
    if (slot.size == size && SameName(slot.data, name)) return true;
    slot = {name.data(), size};
    new_name_bytes_ += size;
    return new_name_bytes_ <= kMaxPlainNewNameBytes;
  }

  // After "<": the name, its attributes and ">" or "/>".
  bool StartTag(std::string_view& name, bool& empty) {
    if (!Name(name)) return false;
    // Left uninitialised: only the first `count` are read.
    Span attributes[kMaxPlainAttributes];
    size_t count = 0;
    for (;;) {
      const bool spaced = SkipSpaces();
      if (p_ == end_) return false;
      if (*p_ == '>') {
        ++p_;
        return true;
      }
      if (*p_ == '/') {
        ++p_;
        empty = true;
        return Expect('>');
      }
      if (!spaced || count == kMaxPlainAttributes) return false;
      std::string_view attribute;
      if (!Name(attribute)) return false;
      for (size_t i = 0; i < count; ++i)
        if (attributes[i].view() == attribute) return false;
      attributes[count++] = {attribute.data(), attribute.size()};
      SkipSpaces();
      if (!Expect('=')) return false;
      SkipSpaces();
      if (!AttributeValue()) return false;
    }
  }

  bool AttributeValue() {
    if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return false;
    const char quote = *p_++;
    const char* start = p_;
    for (;;) {
      SkipPlain<'"', '\''>(kPlainInValue);
      if (p_ == end_) return false;
      const char c = *p_;
      if (c == quote) break;
      if (c == '"' || c == '\'') {
        ++p_;
      } else if (c == '&') {
        if (!Reference()) return false;
      } else if (!NonAsciiCharacter()) {
        return false;  // "<", a control character or a byte outside the plain range
      }
    }
    if (static_cast<size_t>(p_ - start) > kMaxPlainToken) return false;
    ++p_;
    return true;
  }

  // Character data inside the root element, up to the next "<".
  bool Text() {
    const char* start = p_;
    for (;;) {
      SkipPlain<']', ']'>(kPlainInText);
      if (p_ == end_ || *p_ == '<') break;
      if (*p_ == '&') {
        if (!Reference()) return false;
      } else if (*p_ == ']') {
        if (StartsWith("]]>")) return false;
        ++p_;
      } else if (!NonAsciiCharacter()) {
        return false;
      }
    }
    return static_cast<size_t>(p_ - start) <= kMaxPlainToken;
  }

  // Outside the root only white space may stand between the markup.
  bool SpaceAtTop() { return SkipSpaces() && (p_ == end_ || *p_ == '<'); }

  // "&lt;", "&gt;", "&amp;", "&apos;", "&quot;" or a reference to a character
  // XML allows.
  bool Reference() {
    ++p_;
    if (p_ < end_ && *p_ == '#') {
      ++p_;
      const bool hex = p_ < end_ && *p_ == 'x';
      if (hex) ++p_;
      uint32_t value = 0;
      size_t digits = 0;
      for (; p_ < end_ && *p_ != ';'; ++p_, ++digits) {
        const char c = *p_;
        int digit;
        if (c >= '0' && c <= '9')
          digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
          digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
          digit = c - 'A' + 10;
        else
          return false;
        if (digits == 7) return false;
        value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
      }
      if (digits == 0 || !Expect(';')) return false;
      return value == 0x9 || value == 0xA || value == 0xD || (value >= 0x20 && value < 0x7F) ||
             (value >= 0xA0 && value <= 0xD7FF) || (value >= 0xE000 && value <= 0xFFFD) ||
             (value >= 0x10000 && value <= 0x10FFFF);
    }
    for (std::string_view entity : {"lt;", "gt;", "amp;", "apos;", "quot;"}) {
      if (StartsWith(entity)) {
        p_ += entity.size();
        return true;
      }
    }
    return false;
  }

  // One UTF-8 encoded character from U+00A0 on that XML allows (no surrogates,
  // no U+FFFE or U+FFFF). DEL and the C1 controls are left to the full parser.
  bool NonAsciiCharacter() {
    const auto byte = [&](ptrdiff_t i) { return static_cast<unsigned char>(p_[i]); };
    const ptrdiff_t left = end_ - p_;
    const unsigned char lead = byte(0);
    const auto continuation = [&](ptrdiff_t i) { return i < left && (byte(i) & 0xC0) == 0x80; };
    if (lead == 0xC2) {
      if (!continuation(1) || byte(1) < 0xA0) return false;
      p_ += 2;
      return true;
    }
    if (lead >= 0xC3 && lead <= 0xDF) {
      if (!continuation(1)) return false;
      p_ += 2;
      return true;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
      if (!continuation(1) || !continuation(2)) return false;
      if (lead == 0xE0 && byte(1) < 0xA0) return false;                      // overlong
      if (lead == 0xED && byte(1) >= 0xA0) return false;                     // surrogates
      if (lead == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) return false;  // U+FFFE, U+FFFF
      p_ += 3;
      return true;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
      if (!continuation(1) || !continuation(2) || !continuation(3)) return false;
      if (lead == 0xF0 && byte(1) < 0x90) return false;   // overlong
      if (lead == 0xF4 && byte(1) >= 0x90) return false;  // beyond U+10FFFF
      p_ += 4;
      return true;
    }
    return false;
  }

  // "<!--" up to "-->", with no "--" inside.
  bool Comment() { return Section(4, "-->", true); }

  // "<![CDATA[" up to "]]>".
  bool CData() { return Section(9, "]]>", false); }

  // Skips an opening of `opening` bytes and plain characters up to `close`.
  // With `pair_must_close`, the first two bytes of `close` may not stand
  // inside the section (a comment's "--").
  bool Section(size_t opening, std::string_view close, bool pair_must_close) {
    p_ += opening;
    const char* start = p_;
    for (;;) {
      while (p_ < end_ && *p_ != close[0] && (ClassOf(*p_) & kPlainChar)) ++p_;
      if (p_ == end_) return false;
      if (*p_ == close[0]) {
        if (StartsWith(close)) break;
        if (pair_must_close && end_ - p_ >= 2 && p_[1] == close[1]) return false;
        ++p_;
      } else if (!NonAsciiCharacter()) {
        return false;
      }
    }
    if (static_cast<size_t>(p_ - start) > kMaxPlainToken) return false;
    p_ += close.size();
    return true;
  }

  // `<?xml version="1.0"?>`, optionally declaring the UTF-8 encoding.
  bool Declaration() {
    p_ += 5;
    std::string_view value;
    if (!SkipSpaces() || !Pseudo("version", value) || value != "1.0") return false;
    const bool spaced = SkipSpaces();
    if (spaced && StartsWith("encoding")) {
      if (!Pseudo("encoding", value) || (value != "UTF-8" && value != "utf-8")) return false;
      SkipSpaces();
    }
    if (!StartsWith("?>")) return false;
    p_ += 2;
    return true;
  }

  // `name = "value"` inside the declaration; the value holds no markup.
  bool Pseudo(std::string_view name, std::string_view& value) {
    if (!StartsWith(name)) return false;
    p_ += name.size();
    SkipSpaces();
    if (!Expect('=')) return false;
    SkipSpaces();
    if (p_ == end_ || (*p_ != '"' && *p_ != '\'')) return false;
    const char quote = *p_++;
    const char* start = p_;
    while (p_ < end_ && *p_ != quote && (ClassOf(*p_) & kNameByte)) ++p_;
    value = std::string_view(start, static_cast<size_t>(p_ - start));
    return Expect(quote);
  }

  const char* p_;
  const char* end_;
  Span recent_[kRecentNames] = {};
  size_t new_name_bytes_ = 0;
};

}  // namespace

bool IsPlainWellFormed(std::string_view text) { return PlainXmlScanner(text).Scan(); }

}  // namespace corvane
