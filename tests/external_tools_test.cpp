#include "driver/external_tools.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "testutil.hpp"

namespace {

using xk::driver::Redirections;
using xk::driver::run_tool;

std::string script(const xktest::TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.file(name);
  xktest::write_file(path, "#!/bin/sh\n" + body);
  ::chmod(path.c_str(), 0755);
  return path;
}

TEST(ExternalTools, ArgumentsAndRedirectionsWithoutShell) {
  xktest::TempDir dir;
  // Arguments with blanks, ";" and "$(...)" arrive as they are.
  const std::string tool = script(dir, "tool", "for a in \"$@\"; do echo \"[$a]\"; done\ncat\necho err >&2\nexit 0\n");
  xktest::write_file(dir.file("in"), "from stdin\n");
  xktest::write_file(dir.file("log"), "old\n");
  Redirections r;
  r.stdin_from = dir.file("in");
  r.stdout_append = dir.file("log");
  r.stderr_discard = true;
  EXPECT_EQ(run_tool({tool, "a b", "x;touch pwned", "$(touch pwned2)"}, r), 0);
  EXPECT_EQ(xktest::read_file(dir.file("log")), "old\n[a b]\n[x;touch pwned]\n[$(touch pwned2)]\nfrom stdin\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
  EXPECT_FALSE(std::filesystem::exists(dir.file("pwned2")));
}

TEST(ExternalTools, ExitStatusIsReported) {
  xktest::TempDir dir;
  Redirections quiet;
  quiet.stdout_append = dir.file("log");
  quiet.stderr_discard = true;
  EXPECT_EQ(run_tool({script(dir, "three", "exit 3\n")}, quiet), 3);
  EXPECT_EQ(run_tool({dir.file("missing")}, quiet), -1);
  EXPECT_EQ(run_tool({script(dir, "killed", "kill -9 $$\n")}, quiet), -1);
  Redirections bad_input = quiet;
  bad_input.stdin_from = dir.file("no-such-input");
  EXPECT_EQ(run_tool({script(dir, "ok", "exit 0\n")}, bad_input), -1);
}

TEST(ExternalTools, CapturedStreamsHoldAllAToolWritesWhateverItsStatus) {
  xktest::TempDir dir;
  // Far more than a pipe holds on both streams, written in turns, so that
  // the tool would stop on a full pipe that nobody reads; then a failure.
  const std::string tool = script(dir, "chatty",
                                  "i=0\nwhile [ $i -lt 3000 ]; do\n"
                                  "  echo \"out $i ......................................................\"\n"
                                  "  echo \"err $i\" >&2\n  i=$((i+1))\ndone\nprintf 'last'\nexit 4\n");
  std::string want_out, want_err;
  for (int i = 0; i < 3000; ++i) {
    want_out += "out " + std::to_string(i) + " ......................................................\n";
    want_err += "err " + std::to_string(i) + "\n";
  }
  want_out += "last";
  std::string out = "kept ", err;
  Redirections r;
  r.stdout_capture = &out;
  r.stderr_capture = &err;
  r.stdout_append = dir.file("not-written");  // a capture takes the place of a file
  EXPECT_EQ(run_tool({tool}, r), 4);
  EXPECT_EQ(out, "kept " + want_out);
  EXPECT_EQ(err, want_err);
  EXPECT_FALSE(std::filesystem::exists(dir.file("not-written")));
  // A tool that cannot be started leaves the texts as they were.
  std::string none;
  Redirections missing;
  missing.stdout_capture = &none;
  EXPECT_EQ(run_tool({dir.file("missing")}, missing), -1);
  EXPECT_EQ(none, "");
}

}  // namespace
