#pragma once
// Where the form's resource bundle, the folder "ZUZuzazev_ContactForm.bundle" that holds its
// interface file, is looked for. A program's resource folder is share/pelmora-zava beside the
// folder that holds it, as in an installed prefix (bin/ and share/pelmora-zava/) and in the
// build tree, where programs sit one folder below the top and the build copies the bundle to
// <build>/share/pelmora-zava/. The CMake package can also copy it beside a program.

#include <array>
#include <filesystem>
#include <string_view>

namespace ContactForm {

constexpr std::string_view bundleName = "ZUZuzazev_ContactForm";

/// The folders to look in, in order: the program's resource folder, the resource folder
/// beside the executable or library that holds this module's code, and the program's own folder.
std::array<std::filesystem::path, 3> bundleCandidates();

/// The bundle in the first candidate folder that holds it as a readable folder; the process
/// stops with "unable to find bundle named ZUZuzazev_ContactForm" when none does.
std::filesystem::path findBundle(const std::array<std::filesystem::path, 3>& candidateFolders);

/// `findBundle(bundleCandidates())`, run once per process on first use, from any thread.
const std::filesystem::path& resourceBundle();

}  // namespace ContactForm
