#pragma once
// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes. Tests put their files here.

#include <filesystem>
#include <string>

namespace platform {

class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::filesystem::path& path() const noexcept { return path_; }

 private:
  std::filesystem::path path_;
};

/// Points XDG_CONFIG_HOME at a fresh temporary folder while it lives, then restores it.
class TemporaryConfigHome {
 public:
  TemporaryConfigHome();
  ~TemporaryConfigHome();
  TemporaryConfigHome(const TemporaryConfigHome&) = delete;
  TemporaryConfigHome& operator=(const TemporaryConfigHome&) = delete;

  const std::filesystem::path& path() const noexcept { return folder_.path(); }

 private:
  TemporaryDirectory folder_;
  bool hadPrevious_ = false;
  std::string previous_;
};

}  // namespace platform
