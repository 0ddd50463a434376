// The 136-byte profile record, byte for byte, and the profile readers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <thread>

#include "common/ending.hpp"
#include "profile/record.hpp"
#include "readers/profiles.hpp"
#include "testutil.hpp"
#include "tools/mkprof.hpp"

using namespace xk;

namespace {

std::string le32(float f) {
  unsigned char b[4];
  std::memcpy(b, &f, 4);  // the test machines are little-endian
  return std::string(reinterpret_cast<char*>(b), 4);
}

// The converter's record for position r as the format fixes it, spelled out.
std::string expected_converter_record(int r, const char* label, char letter, const std::array<float, 20>& v) {
  std::string s;
  s += static_cast<char>(r & 0xFF);
  s += static_cast<char>((r >> 8) & 0xFF);
  s += static_cast<char>(r & 0xFF);
  s += static_cast<char>((r >> 8) & 0xFF);
  s += std::string(label, 4);
  s += '_';
  s += letter;
  s += 'U';
  s += ' ';
  for (int i = 0; i < 6; ++i) s += le32(0.0f);
  s += le32(1.0f);
  for (float x : v) s += le32(x);
  s += le32(0.0f) + le32(0.0f);
  s += "_?";
  s += std::string(6, '\0');
  return s;
}

}  // namespace

TEST(ProfileRecord, ConverterRecordOfAIsByteExact) {
  auto v = letter_profile('A');
  RecordBytes b = encode_record(converter_record(1, {'1', '.', 'd', 'r'}, 'A', v));
  std::string got(reinterpret_cast<const char*>(b.data()), b.size());
  EXPECT_EQ(got, expected_converter_record(1, "1.dr", 'A', v));
  // Bytes 36..39 hold 1.0 as 00 00 80 3F.
  EXPECT_EQ(b[36], 0x00);
  EXPECT_EQ(b[37], 0x00);
  EXPECT_EQ(b[38], 0x80);
  EXPECT_EQ(b[39], 0x3F);
}

TEST(ProfileRecord, MergedRecordHasBlankMarks) {
  std::array<float, 20> v{};
  v[3] = 0.75f;
  v[0] = 0.25f;
  RecordBytes b = encode_record(merged_record(300, 'E', v));
  EXPECT_EQ(b[0], 300 & 0xFF);
  EXPECT_EQ(b[1], 300 >> 8);
  EXPECT_EQ(b[2], 300 & 0xFF);
  for (int i : {4, 5, 6, 7, 8, 10, 11, 128, 129}) EXPECT_EQ(b[i], ' ') << "byte " << i;
  EXPECT_EQ(b[9], 'E');
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()) + 36, 4), le32(1.0f));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()) + 40 + 12, 4), le32(0.75f));
}

TEST(ProfileRecord, ResidueNumberWrapsAtSixteenBits) {
  std::array<float, 20> v{};
  ProfileRecord rec = decode_record(encode_record(merged_record(32768, 'A', v)));
  EXPECT_EQ(rec.resnum, -32768);
  rec = decode_record(encode_record(merged_record(65537, 'A', v)));
  EXPECT_EQ(rec.resnum, 1);
}

TEST(ProfileRecord, RoundTripsEveryField) {
  ProfileRecord a = converter_record(77, {'a', 'b', 'c', 'd'}, 'Z', letter_profile('Z'));
  a.ints = {1, -2, 3};
  a.tail = {0.5f, -0.25f};
  ProfileRecord b = decode_record(encode_record(a));
  EXPECT_EQ(encode_record(a), encode_record(b));
  EXPECT_EQ(b.values, a.values);
  EXPECT_EQ(b.ints, a.ints);
}

TEST(ProfileReaders, ReadRecordsIntoRowsLeavingExtraRowsUntouched) {
  xktest::TempDir dir;
  const std::string f = dir.file("3.drct");
  {
    ProfileWriter w(f);
    for (char c : std::string("ACD")) w.write(converter_record(1, {' ', ' ', ' ', ' '}, c, letter_profile(c)));
    w.close();
  }
  EXPECT_EQ(getdrctlen(f), 3);
  std::vector<float> table(4 * 20, -1.0f);
  readdrct(f, 4, table);
  EXPECT_EQ(table[0], 1.0f);             // row 1: A
  EXPECT_EQ(table[20 + 1], 1.0f);        // row 2: C
  EXPECT_EQ(table[40 + 2], 1.0f);        // row 3: D
  EXPECT_EQ(table[40 + 1], 0.0f);
  for (int k = 0; k < 20; ++k) EXPECT_EQ(table[60 + k], -1.0f);  // row 4 untouched
}

// A profile cut short, grown by stray bytes, or a folder in its place is
// refused by every reader, naming the file; nothing is read in part.
TEST(ProfileReaders, DamagedFilesAndFoldersAreRefusedNamingThem) {
  xktest::TempDir dir;
  const std::string good = dir.file("3.drct");
  {
    ProfileWriter w(good);
    for (char c : std::string("ACD")) w.write(converter_record(1, {' ', ' ', ' ', ' '}, c, letter_profile(c)));
    w.close();
  }
  const std::string bytes = xktest::read_file(good);
  const std::string grown = dir.file("grown.drct"), cut = dir.file("cut.drct"), tiny = dir.file("tiny.drct");
  xktest::write_file(grown, bytes + std::string(50, 'x'));
  xktest::write_file(cut, bytes.substr(0, 2 * 136 + 7));
  xktest::write_file(tiny, bytes.substr(0, 7));
  std::filesystem::create_directory(dir.file("folder.drct"));
  for (const std::string& f : {grown, cut, tiny, dir.file("folder.drct")}) {
    SCOPED_TRACE(f);
    try {
      getdrctlen(f);
      FAIL() << "accepted";
    } catch (const IoError& e) {
      EXPECT_EQ(e.file(), f);
    }
    std::vector<float> table(4 * 20, 0.0f);
    EXPECT_THROW(readdrct(f, 3, table), IoError);
    EXPECT_THROW(ProfileReader{f}, IoError);
  }
  // Through a pipe, where the size is known only at the end: the partial
  // last record is refused when it is met.
  const std::string pipe = dir.file("pipe.drct");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::thread writer([&] { xktest::write_file(pipe, bytes.substr(0, 136 + 20)); });
  ProfileReader reader(pipe);
  ProfileRecord rec;
  EXPECT_TRUE(reader.next(rec));
  EXPECT_THROW(reader.next(rec), IoError);
  writer.join();
}

TEST(ProfileReaders, EmptyFileHasNoPositions) {
  xktest::TempDir dir;
  const std::string f = dir.file("e.drct");
  xktest::write_file(f, "");
  EXPECT_EQ(getdrctlen(f), 0);
  EXPECT_TRUE(readdrct(f).empty());
}

TEST(ProfileReaders, MissingFileIsAnIoErrorNamingIt) {
  try {
    getdrctlen("/nonexistent/99.drct");
    FAIL();
  } catch (const IoError& e) {
    EXPECT_EQ(e.file(), "/nonexistent/99.drct");
  }
  std::vector<float> t(20);
  EXPECT_THROW(readdrct("/nonexistent/99.drct", 1, t), IoError);
}

TEST(ProfileWriter, ReplacesAnExistingFile) {
  xktest::TempDir dir;
  const std::string f = dir.file("p.drct");
  xktest::write_file(f, std::string(136 * 5, 'z'));
  ProfileWriter w(f);
  w.write(merged_record(1, 'A', letter_profile('A')));
  w.close();
  EXPECT_EQ(getdrctlen(f), 1);
}
