#include "platform/ui/Interface.hpp"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <tuple>

#include "InterfaceBuilder.hpp"
#include "platform/ui/Controls.hpp"
#include "platform/ui/ViewController.hpp"

namespace platform::ui {
namespace {

[[noreturn]] void broken(const std::string& name, const std::filesystem::path& file) {
  installationFault("unable to load " + name + " from " + file.string());
}

// Thrown while building; the caller turns it into the installation fault.
struct Broken {};

class Builder {
 public:
  explicit Builder(ViewController& controller) : controller_(controller) {}

  std::shared_ptr<View> build(const nlohmann::json& node) {
    auto root = make(node.at("view"));
    const nlohmann::json outlets = node.value("outlets", nlohmann::json::object());
    for (const auto& [outlet, id] : outlets.items()) {
      const auto view = views_.find(id.get<std::string>());
      if (view == views_.end() || !controller_.setOutlet(outlet, view->second)) throw Broken{};
      outlets_.insert(outlet);
    }
    for (const auto outlet : controller_.requiredOutlets())
      if (!outlets_.contains(std::string(outlet))) throw Broken{};
    for (const auto action : controller_.requiredActions())
      if (!actions_.contains(std::string(action))) throw Broken{};
    // Bound last, so that a binding sees its controller's outlets connected.
    for (const auto& [view, binding, keyPath] : bindings_)
      if (!controller_.bind(view, binding, keyPath)) throw Broken{};
    return root;
  }

 private:
  std::shared_ptr<View> make(const nlohmann::json& node) {
    const std::string type = node.at("type").get<std::string>();
    std::shared_ptr<View> view;
    if (type == "grid") {
      auto grid = std::make_shared<GridView>();
      for (const auto& row : node.at("rows")) {
        std::vector<std::shared_ptr<View>> views;
        for (const auto& cell : row) views.push_back(make(cell));
        grid->addRow(std::move(views));
      }
      view = grid;
    } else if (type == "label" || type == "textField") {
      auto field = std::make_shared<TextField>();
      field->setStringValue(node.value("text", std::string()));
      view = field;
    } else if (type == "textView") {
      view = std::make_shared<TextView>();
    } else if (type == "button") {
      view = makeButton(node);
    } else {
      throw Broken{};
    }
    if (node.contains("id") && !views_.emplace(node.at("id").get<std::string>(), view).second) throw Broken{};
    const nlohmann::json bindings = node.value("bindings", nlohmann::json::object());
    for (const auto& [binding, keyPath] : bindings.items())
      bindings_.emplace_back(view, binding, keyPath.get<std::string>());
    return view;
  }

  std::shared_ptr<Button> makeButton(const nlohmann::json& node) {
    static const std::map<std::string, int, std::less<>> states{
        {"off", Button::off}, {"on", Button::on}, {"mixed", Button::mixed}};
    auto button = std::make_shared<Button>(node.value("title", std::string()));
    const auto state = states.find(node.value("state", std::string("off")));
    if (state == states.end()) throw Broken{};
    button->setState(state->second);
    if (node.contains("action")) {
      const std::string selector = node.at("action").get<std::string>();
      auto action = controller_.action(selector);
      if (!action) throw Broken{};
      button->setAction(std::move(action));
      actions_.insert(selector);
    }
    return button;
  }

  ViewController& controller_;
  std::map<std::string, std::shared_ptr<View>, std::less<>> views_;
  std::set<std::string, std::less<>> outlets_;
  std::set<std::string, std::less<>> actions_;
  std::vector<std::tuple<std::shared_ptr<View>, std::string, std::string>> bindings_;
};

}  // namespace

InterfaceNode InterfaceNode::read(std::string name, const std::filesystem::path& bundle) {
  std::filesystem::path file = bundle / (name + ".json");
  std::ifstream in(file, std::ios::binary);
  if (!in) broken(name, file);
  nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
  if (json.is_discarded()) broken(name, file);
  return {std::move(name), std::move(json), std::move(file)};
}

std::shared_ptr<View> buildInterface(ViewController& controller, const InterfaceNode& node) {
  try {
    return Builder(controller).build(node.json);
  } catch (const Broken&) {
  } catch (const nlohmann::json::exception&) {
  }
  broken(node.name, node.file);
}

void installationFault(std::string_view message) {
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(nullptr);  // what the program wrote before stopping is not lost
  std::abort();
}

}  // namespace platform::ui
