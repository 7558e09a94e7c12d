#pragma once

// The byte stream "Korvel.cfg" is written in: 32-bit little-endian integers, text lines ended
// by a line feed, and counted strings. One direction per archive: a storing archive appends
// to its buffer, a loading archive reads a buffer it does not own.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

// Thrown by a loading archive when the bytes end early or announce more than remains. The
// reader catches it and keeps what was read before.
class CArchiveException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class CArchive {
 public:
  enum class Mode { Store, Load };

  // A storing archive writing into its own buffer.
  CArchive();
  // A loading archive over `bytes`; the caller keeps them alive while the archive is used.
  explicit CArchive(std::string_view bytes);

  bool IsStoring() const { return mode_ == Mode::Store; }
  bool IsLoading() const { return mode_ == Mode::Load; }

  // Bytes written so far (storing archive).
  const std::string& Stored() const { return out_; }
  // Bytes not yet read (loading archive).
  std::size_t Remaining() const { return in_.size() - position_; }

  void WriteInt(std::int32_t value);
  std::int32_t ReadInt();

  // A text line: the characters, then one line feed. The text must not hold a line feed or
  // carriage return (it would split the record when read back).
  void WriteLine(std::string_view text);
  // Characters up to the next line feed; a carriage return also ends the line and the
  // character after it is skipped. A line that the end of the bytes cuts off before its end
  // mark throws, so a truncated file never yields a half text.
  std::string ReadLine();

  // Counted string: length below 255 as one byte; below 65534 as 0xFF and a 16-bit length;
  // otherwise 0xFF, 0xFFFF and a 32-bit length; then the characters.
  void WriteCounted(std::string_view text);
  // Reads the form above. The 16-bit length 0xFFFE marks a string of 16-bit characters whose
  // own length follows in the same form; it is converted to 8-bit text (code page 936).
  std::string ReadCounted();

 private:
  void Need(std::size_t bytes) const;
  std::uint8_t ReadByte();
  std::uint16_t ReadWord();
  std::uint32_t ReadDword();
  std::size_t ReadLength();

  Mode mode_;
  std::string out_;
  std::string_view in_;
  std::size_t position_ = 0;
};
