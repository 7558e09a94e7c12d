#include "live_client/core/Archive.h"

#include "platform/TimeText.h"

CArchive::CArchive() : mode_(Mode::Store) {}

CArchive::CArchive(std::string_view bytes) : mode_(Mode::Load), in_(bytes) {}

void CArchive::Need(std::size_t bytes) const {
  if (Remaining() < bytes) throw CArchiveException("unexpected end of archive");
}

std::uint8_t CArchive::ReadByte() {
  Need(1);
  return static_cast<std::uint8_t>(in_[position_++]);
}

std::uint16_t CArchive::ReadWord() {
  const std::uint16_t low = ReadByte();
  return static_cast<std::uint16_t>(low | (ReadByte() << 8));
}

std::uint32_t CArchive::ReadDword() {
  const std::uint32_t low = ReadWord();
  return low | (static_cast<std::uint32_t>(ReadWord()) << 16);
}

void CArchive::WriteInt(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) out_.push_back(static_cast<char>((bits >> shift) & 0xFF));
}

std::int32_t CArchive::ReadInt() { return static_cast<std::int32_t>(ReadDword()); }

void CArchive::WriteLine(std::string_view text) {
  out_.append(text);
  out_.push_back('\n');
}

std::string CArchive::ReadLine() {
  std::string text;
  for (;;) {
    const char c = static_cast<char>(ReadByte());
    if (c == '\n') return text;
    if (c == '\r') {
      ReadByte();
      return text;
    }
    text.push_back(c);
  }
}

void CArchive::WriteCounted(std::string_view text) {
  const std::size_t length = text.size();
  if (length < 255) {
    out_.push_back(static_cast<char>(length));
  } else if (length < 0xFFFE) {
    out_.push_back(static_cast<char>(0xFF));
    out_.push_back(static_cast<char>(length & 0xFF));
    out_.push_back(static_cast<char>((length >> 8) & 0xFF));
  } else {
    out_.push_back(static_cast<char>(0xFF));
    out_.push_back(static_cast<char>(0xFF));
    out_.push_back(static_cast<char>(0xFF));
    WriteInt(static_cast<std::int32_t>(length));
  }
  out_.append(text);
}

std::size_t CArchive::ReadLength() {
  const std::uint8_t byte = ReadByte();
  if (byte < 0xFF) return byte;
  const std::uint16_t word = ReadWord();
  if (word < 0xFFFE) return word;
  if (word == 0xFFFF) return ReadDword();
  return static_cast<std::size_t>(-1);  // the wide-string marker
}

namespace {

// UTF-16LE code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::string_view units) {
  std::string out;
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    std::uint32_t code = static_cast<std::uint8_t>(units[i]) |
                         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(units[i + 1])) << 8);
    if (code >= 0xD800 && code <= 0xDBFF && i + 3 < units.size()) {
      const std::uint32_t low = static_cast<std::uint8_t>(units[i + 2]) |
                                (static_cast<std::uint32_t>(static_cast<std::uint8_t>(units[i + 3])) << 8);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        code = 0xFFFD;
      }
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (code >> 6)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (code >> 12)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (code >> 18)));
      out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::string CArchive::ReadCounted() {
  std::size_t length = ReadLength();
  if (length != static_cast<std::size_t>(-1)) {
    Need(length);
    std::string text(in_.substr(position_, length));
    position_ += length;
    return text;
  }
  length = ReadLength();
  if (length == static_cast<std::size_t>(-1) || length > Remaining() / 2)
    throw CArchiveException("bad wide string length");
  const std::string_view units = in_.substr(position_, length * 2);
  position_ += length * 2;
  return platform::Utf8ToGbk(Utf16ToUtf8(units));
}
