#include "common/ending.hpp"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

namespace xk {

IoError io_error_from_errno(const std::string& file) {
  return IoError(file, std::strerror(errno));
}

namespace {

std::string signal_name(int sig) {
  switch (sig) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return "signal " + std::to_string(sig);
  }
}

}  // namespace

Interrupted::Interrupted(int signal_number)
    : std::runtime_error("Interrupted by " + signal_name(signal_number) + ": the output is incomplete"),
      signal_(signal_number) {}

namespace {
void stop_line(const char* message) {
  std::cout.flush();
  std::fflush(stdout);
  std::cerr << "STOP " << message << '\n';
  std::cerr.flush();
}
}  // namespace

int run_program(const std::function<int()>& body) noexcept {
  try {
    try {
      int status = body();
      std::cout.flush();
      return status;
    } catch (const NormalStop& e) {
      stop_line(e.what());
      return 0;
    } catch (const Interrupted& e) {
      stop_line(e.what());
      return 128 + e.signal_number();
    } catch (const FatalStop& e) {
      stop_line(e.what());
      return kExitFatal;
    } catch (const NotFound& e) {
      std::cout << e.prefix() << ' ' << e.file() << '\n';
      std::cout.flush();
      return kExitNotFound;
    } catch (const IoError& e) {
      std::cout.flush();
      std::cerr << e.what() << '\n';
      return kExitIo;
    } catch (const std::bad_alloc&) {
      stop_line("ERROR: out of memory!!!");
      return kExitFatal;
    } catch (const std::exception& e) {
      std::cout.flush();
      std::cerr << "ERROR: internal error: " << e.what() << '\n';
      return 3;
    }
  } catch (...) {
    return 3;
  }
}

}  // namespace xk
