#include "ResourceBundle.hpp"

#include <dlfcn.h>
#include <unistd.h>

#include <string>
#include <system_error>

#include "platform/ui/Interface.hpp"

namespace ContactForm {
namespace {

// Marks this module's code: whatever executable or library holds it holds the form.
class BundleFinder {
 public:
  static void marker() {}
};

std::filesystem::path absolute(const std::filesystem::path& file) {
  std::error_code error;
  auto result = std::filesystem::weakly_canonical(file, error);
  return error ? std::filesystem::path() : result;
}

std::filesystem::path resourceFolderBeside(const std::filesystem::path& code) {
  if (code.empty()) return {};
  return code.parent_path().parent_path() / "share" / "pelmora-zava";
}

std::filesystem::path executable() {
  std::error_code error;
  auto file = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : file;
}

std::filesystem::path codeHoldingBundleFinder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&BundleFinder::marker), &info) == 0 || !info.dli_fname) return {};
  return absolute(info.dli_fname);
}

bool isReadableFolder(const std::filesystem::path& folder) {
  std::error_code error;
  return std::filesystem::is_directory(folder, error) && ::access(folder.c_str(), R_OK | X_OK) == 0;
}

}  // namespace

std::array<std::filesystem::path, 3> bundleCandidates() {
  const auto program = executable();
  return {resourceFolderBeside(program), resourceFolderBeside(codeHoldingBundleFinder()),
          program.empty() ? program : program.parent_path()};
}

std::filesystem::path findBundle(const std::array<std::filesystem::path, 3>& candidateFolders) {
  const std::string folderName = std::string(bundleName) + ".bundle";
  for (const auto& folder : candidateFolders) {
    if (folder.empty()) continue;  // that candidate could not be told
    if (auto bundle = folder / folderName; isReadableFolder(bundle)) return bundle;
  }
  platform::ui::installationFault("unable to find bundle named " + std::string(bundleName));
}

const std::filesystem::path& resourceBundle() {
  static const std::filesystem::path bundle = findBundle(bundleCandidates());
  return bundle;
}

}  // namespace ContactForm
