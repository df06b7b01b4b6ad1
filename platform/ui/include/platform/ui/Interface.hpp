#pragma once
// A declarative interface file: one JSON object per controller, naming its view tree, the
// outlets the tree connects and the actions and bindings its controls carry. A controller
// made from a file (or from a node parsed from one) builds its view from it when the view
// is loaded. A file that is missing, does not parse or leaves out a connection the
// controller needs is an installation fault: the process stops, naming the file.
//
// The node's members:
//   "view":    a view: {"type": "grid", "rows": [[view, ...], ...]}, {"type": "label", "text": ...},
//              {"type": "textField"}, {"type": "textView"},
//              {"type": "button", "title": ..., "state": "on"|"off"|"mixed", "action": selector};
//              any view may carry an "id" and "bindings": {binding: key path}
//   "outlets": {outlet name: view id}

#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace platform::ui {

/// One controller's node of an interface file, with the file it came from.
struct InterfaceNode {
  std::string name;             ///< the file's name within its bundle, without ".json"
  nlohmann::json json;
  std::filesystem::path file;

  /// Reads `<bundle>/<name>.json`; stops the process when it is missing or does not parse.
  static InterfaceNode read(std::string name, const std::filesystem::path& bundle);
};

/// Stops the process with `message` on standard error: something the program was installed
/// with is missing or broken, and no caller could do better.
[[noreturn]] void installationFault(std::string_view message);

}  // namespace platform::ui
