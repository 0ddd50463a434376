// The ways a program of the suite can end, made in one place.
//
// Library code never ends the process: it throws one of the types below and
// the program's main hands its body to run_program(), which writes the
// message on the right stream and returns the exit status.
//
//   FatalStop   "STOP <message>" on standard error, exit status 1
//   NotFound    "<what> <file>" on standard output, exit status 1
//   IoError     "ERROR: <file>: <reason>" on standard error, exit status 2
//   NormalStop  "STOP <message>" on standard error, exit status 0
//   Interrupted "STOP Interrupted by <signal>: the output is incomplete" on
//               standard error, exit status 128 + the signal number
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace xk {

inline constexpr int kExitFatal = 1;
inline constexpr int kExitNotFound = 1;
inline constexpr int kExitIo = 2;

// A fatal stop: the message as the user sees it, without the "STOP " prefix.
class FatalStop : public std::runtime_error {
 public:
  explicit FatalStop(const std::string& message) : std::runtime_error(message) {}
};

// A not-found report, e.g. what = "ERROR: File not found -", file = "in.fa".
class NotFound : public std::runtime_error {
 public:
  NotFound(std::string what_text, std::string file)
      : std::runtime_error(what_text + " " + file), what_(std::move(what_text)), file_(std::move(file)) {}
  const std::string& file() const { return file_; }
  const std::string& prefix() const { return what_; }

 private:
  std::string what_;
  std::string file_;
};

// An input/output failure on a named file (missing, unreadable, unwritable).
class IoError : public std::runtime_error {
 public:
  IoError(std::string file, const std::string& reason)
      : std::runtime_error("ERROR: " + file + ": " + reason), file_(std::move(file)) {}
  const std::string& file() const { return file_; }

 private:
  std::string file_;
};

// A normal end announced in the stop form (the converter's "MKPROF: Normal end").
class NormalStop : public std::runtime_error {
 public:
  explicit NormalStop(const std::string& message) : std::runtime_error(message) {}
};

// An interrupting signal received during a run (see common/interrupt.hpp).
class Interrupted : public std::runtime_error {
 public:
  explicit Interrupted(int signal_number);
  int signal_number() const { return signal_; }

 private:
  int signal_;
};

// Builds an IoError for `file` from the current errno.
IoError io_error_from_errno(const std::string& file);

// Runs a program's body and turns the endings above into their messages and
// exit statuses.  Returns the body's own status when it returns normally.
// Flushes standard output before anything is written on standard error so
// the two streams keep their order on a terminal.
int run_program(const std::function<int()>& body) noexcept;

}  // namespace xk
