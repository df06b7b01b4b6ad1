#include "platform/io/TemporaryDirectory.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace platform {

TemporaryDirectory::TemporaryDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pz-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
  path_ = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

TemporaryConfigHome::TemporaryConfigHome() {
  if (const char* value = std::getenv("XDG_CONFIG_HOME")) {
    hadPrevious_ = true;
    previous_ = value;
  }
  ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1);
}

TemporaryConfigHome::~TemporaryConfigHome() {
  if (hadPrevious_)
    ::setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace platform
