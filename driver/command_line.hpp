// The command line of xKESTRA: INPUT OUTPUT, then option pairs "-s" {Shift},
// "-b" {Bias}, "-r" {Seed}, "-o" {File}, "-f" {Format}, "-t" {File}, "-m"
// {Mode} ("classic" or "accurate"), "-i" {Rounds} (0..100), "-p" {Threads}
// and "-l" {Limit} in any order, the last value winning; or one of
// "--help", "-h", "--version" first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "driver/settings.hpp"

namespace xk::driver {

// The usage lines (the nine of the classic program, then one per later
// option), each with its leading blank and line end.
std::string usage_text();

// "xKESTRA <version of the build>" and a line end.
std::string version_text();

// What a first argument "--help" or "-h" (the usage text), or "--version"
// asks for; nullopt for a run.
enum class InfoRequest { help, version };
std::optional<InfoRequest> info_request(std::span<const std::string> args);

// Reads an option value as one real number: optional leading blanks, an
// optional sign, digits with an optional decimal point (at least one digit),
// an optional exponent (E or D, either case, then an optionally signed
// integer).  The number ends at a blank, a comma or the end of the text; the
// rest is not looked at.  Returns nullopt for anything else, and for a value
// that single precision cannot hold.
std::optional<float> parse_real(std::string_view text);

// Reads an option value as one whole number (blanks around it allowed, an
// optional sign); nullopt for anything else or a value beyond 64 bits.
std::optional<std::int64_t> parse_integer(std::string_view text);

// `args` are the arguments after the program name.  Returns nullopt when the
// count does not fit (none, or an odd number): the caller prints the usage
// text.  Throws FatalStop "Wrong argument in shift!!!", "Wrong argument in
// bias!!!", "Wrong argument in seed!!!", "Wrong argument in alignment file!!!"
// (an empty -o name), "Wrong argument in tree file!!!" (an empty -t name),
// "Wrong argument in format (...)!!!", "Wrong argument in mode!!!", "Wrong argument in
// rounds!!!", "Wrong argument in threads!!!" (not a
// whole number from 1 to 4096), "Wrong argument in limit!!!" (not a whole
// number of megabytes from 1) or "Wrong argument(s)!!!" at the first bad
// option, in order.
std::optional<Settings> parse_command_line(std::span<const std::string> args);

}  // namespace xk::driver
