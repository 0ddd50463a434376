#include "profile/record.hpp"

#include <cstring>
#include <string>
#include <sys/stat.h>

#include "common/ending.hpp"

namespace xk {

namespace {

void put16(unsigned char* p, std::int16_t v) {
  auto u = static_cast<std::uint16_t>(v);
  p[0] = static_cast<unsigned char>(u & 0xFFu);
  p[1] = static_cast<unsigned char>(u >> 8);
}
std::int16_t get16(const unsigned char* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}
void put32f(unsigned char* p, float f) {
  std::uint32_t u;
  std::memcpy(&u, &f, 4);
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((u >> (8 * i)) & 0xFFu);
}
float get32f(const unsigned char* p) {
  std::uint32_t u = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                    (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
std::int16_t wrap16(long r) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned long>(r) & 0xFFFFu));
}

}  // namespace

ProfileRecord converter_record(long r, const std::array<char, 4>& label, char letter,
                               const std::array<float, 20>& values) {
  ProfileRecord rec;
  rec.resnum = rec.resnum2 = wrap16(r);
  rec.label = label;
  rec.letter = letter;
  rec.values = values;
  return rec;
}

ProfileRecord merged_record(long r, char letter, const std::array<float, 20>& values) {
  ProfileRecord rec;
  rec.resnum = rec.resnum2 = wrap16(r);
  rec.label = {' ', ' ', ' ', ' '};
  rec.mark8 = rec.mark10 = rec.mark11 = rec.mark128 = rec.mark129 = ' ';
  rec.letter = letter;
  rec.values = values;
  return rec;
}

RecordBytes encode_record(const ProfileRecord& rec) {
  RecordBytes b{};
  unsigned char* p = b.data();
  put16(p + 0, rec.resnum);
  put16(p + 2, rec.resnum2);
  for (int i = 0; i < 4; ++i) p[4 + i] = static_cast<unsigned char>(rec.label[i]);
  p[8] = static_cast<unsigned char>(rec.mark8);
  p[9] = static_cast<unsigned char>(rec.letter);
  p[10] = static_cast<unsigned char>(rec.mark10);
  p[11] = static_cast<unsigned char>(rec.mark11);
  for (int i = 0; i < 6; ++i) put32f(p + 12 + 4 * i, rec.zeros[i]);
  put32f(p + 36, rec.one);
  for (int i = 0; i < 20; ++i) put32f(p + 40 + 4 * i, rec.values[i]);
  put32f(p + 120, rec.tail[0]);
  put32f(p + 124, rec.tail[1]);
  p[128] = static_cast<unsigned char>(rec.mark128);
  p[129] = static_cast<unsigned char>(rec.mark129);
  for (int i = 0; i < 3; ++i) put16(p + 130 + 2 * i, rec.ints[i]);
  return b;
}

ProfileRecord decode_record(std::span<const unsigned char, kRecordBytes> bytes) {
  const unsigned char* p = bytes.data();
  ProfileRecord rec;
  rec.resnum = get16(p + 0);
  rec.resnum2 = get16(p + 2);
  for (int i = 0; i < 4; ++i) rec.label[i] = static_cast<char>(p[4 + i]);
  rec.mark8 = static_cast<char>(p[8]);
  rec.letter = static_cast<char>(p[9]);
  rec.mark10 = static_cast<char>(p[10]);
  rec.mark11 = static_cast<char>(p[11]);
  for (int i = 0; i < 6; ++i) rec.zeros[i] = get32f(p + 12 + 4 * i);
  rec.one = get32f(p + 36);
  for (int i = 0; i < 20; ++i) rec.values[i] = get32f(p + 40 + 4 * i);
  rec.tail[0] = get32f(p + 120);
  rec.tail[1] = get32f(p + 124);
  rec.mark128 = static_cast<char>(p[128]);
  rec.mark129 = static_cast<char>(p[129]);
  for (int i = 0; i < 3; ++i) rec.ints[i] = get16(p + 130 + 2 * i);
  return rec;
}

ProfileWriter::ProfileWriter(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
  if (!file_) throw io_error_from_errno(path);
}

void ProfileWriter::write(const ProfileRecord& rec) {
  RecordBytes b = encode_record(rec);
  if (std::fwrite(b.data(), 1, b.size(), file_.get()) != b.size()) throw io_error_from_errno(path_);
  ++count_;
}

void ProfileWriter::close() {
  if (!file_) return;
  std::FILE* f = file_.release();
  bool bad = std::ferror(f) != 0;
  if (std::fclose(f) != 0 || bad) throw io_error_from_errno(path_);
}

namespace {

// Why a profile file of `bytes` bytes cannot be read as whole records.
std::string damaged_size(long long bytes) {
  return "damaged profile file: " + std::to_string(bytes) + " bytes is not a whole number of " +
         std::to_string(kRecordBytes) + "-byte records";
}

}  // namespace

ProfileReader::ProfileReader(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "rb")) {
  if (!file_) throw io_error_from_errno(path);
  struct stat st {};
  if (::fstat(::fileno(file_.get()), &st) != 0) throw io_error_from_errno(path);
  if (S_ISDIR(st.st_mode)) throw IoError(path, "is a folder, not a profile file");
  if (S_ISREG(st.st_mode) && st.st_size % static_cast<off_t>(kRecordBytes) != 0)
    throw IoError(path, damaged_size(static_cast<long long>(st.st_size)));
}

bool ProfileReader::next(ProfileRecord& rec) {
  RecordBytes b;
  const std::size_t got = std::fread(b.data(), 1, b.size(), file_.get());
  if (got == 0 && std::ferror(file_.get())) throw io_error_from_errno(path_);
  if (got == 0) return false;
  // A pipe or device gives its size only at its end.
  if (got != b.size()) throw IoError(path_, damaged_size(static_cast<long long>(read_ * kRecordBytes + got)));
  rec = decode_record(b);
  ++read_;
  return true;
}

long count_records(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw io_error_from_errno(path);
  if (S_ISDIR(st.st_mode)) throw IoError(path, "is a folder, not a profile file");
  if (!S_ISREG(st.st_mode)) {
    // Not a plain file: count by reading, as a reader would.
    ProfileReader reader(path);
    ProfileRecord rec;
    long n = 0;
    while (reader.next(rec)) ++n;
    return n;
  }
  if (st.st_size % static_cast<off_t>(kRecordBytes) != 0)
    throw IoError(path, damaged_size(static_cast<long long>(st.st_size)));
  return static_cast<long>(st.st_size / static_cast<off_t>(kRecordBytes));
}

}  // namespace xk
