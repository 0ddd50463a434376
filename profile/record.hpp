// The profile file: fixed 136-byte records, one per residue position, no
// header.  Record r (from 1) occupies bytes (r-1)*136 .. r*136-1.  Integers
// are 16-bit and reals 32-bit IEEE, both little-endian; the 20 profile values
// are in the residue order "ACDEFGHIKLMNPQRSTVWY".
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "common/residues.hpp"

namespace xk {

inline constexpr std::size_t kRecordBytes = 136;
inline constexpr int kProfileWidth = kResidueCount;

using RecordBytes = std::array<unsigned char, kRecordBytes>;

// All fields of one record.  The defaults are the converter's fixed fields.
struct ProfileRecord {
  std::int16_t resnum = 0;       // bytes 0-1
  std::int16_t resnum2 = 0;      // bytes 2-3
  std::array<char, 4> label{' ', ' ', ' ', ' '};  // bytes 4-7
  char mark8 = '_';              // byte 8
  char letter = ' ';             // byte 9
  char mark10 = 'U';             // byte 10
  char mark11 = ' ';             // byte 11
  std::array<float, 6> zeros{};  // bytes 12-35
  float one = 1.0f;              // bytes 36-39
  std::array<float, 20> values{};  // bytes 40-119
  std::array<float, 2> tail{};   // bytes 120-127
  char mark128 = '_';            // byte 128
  char mark129 = '?';            // byte 129
  std::array<std::int16_t, 3> ints{};  // bytes 130-135
};

// A record as the converter writes it for position r (stored modulo 2^16).
ProfileRecord converter_record(long r, const std::array<char, 4>& label, char letter,
                               const std::array<float, 20>& values);
// A record as the block aligner writes it: blanks in every character field.
ProfileRecord merged_record(long r, char letter, const std::array<float, 20>& values);

RecordBytes encode_record(const ProfileRecord& rec);
ProfileRecord decode_record(std::span<const unsigned char, kRecordBytes> bytes);

// Sequential writer of records 1, 2, 3, ...  The file is created, or
// emptied when it exists.  Throws IoError naming the file on failure.
class ProfileWriter {
 public:
  explicit ProfileWriter(const std::string& path);
  void write(const ProfileRecord& rec);
  // Flushes and closes; throws IoError when the data could not be written.
  void close();
  long written() const { return count_; }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::string path_;
  std::unique_ptr<std::FILE, Closer> file_;
  long count_ = 0;
};

// Sequential reader.  Opening throws IoError naming the file when it is
// missing or unreadable, a folder, or a plain file whose size is not a whole
// number of records (a damaged file is refused, never read in part).
class ProfileReader {
 public:
  explicit ProfileReader(const std::string& path);
  // Reads the next record; false at the end of the file.  A read error, or
  // a partial record at the end of a pipe, throws IoError naming the file.
  bool next(ProfileRecord& rec);

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::string path_;
  std::unique_ptr<std::FILE, Closer> file_;
  long read_ = 0;  // records returned so far
};

// Number of records of a profile file (its size / 136).  Throws IoError
// naming the file when it is missing, a folder, or of a size that is not a
// whole number of records.
long count_records(const std::string& path);

}  // namespace xk
