#pragma once
// The controller of a window's content: its view is made in `loadView` and prepared in
// `viewDidLoad`, both once, when its window is made. A controller given an interface file
// (a name and a bundle folder) or an interface node has `loadView` build the view from it
// and make the connections below; any other controller makes its view itself. Main thread only.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Error.hpp"
#include "platform/ui/Interface.hpp"

namespace platform::ui {

class View;
class Window;

class ViewController : public std::enable_shared_from_this<ViewController> {
 public:
  /// A controller that makes its view in code.
  ViewController() = default;
  /// A controller whose view comes from the interface file `<bundle>/<nibName>.json`, read when the view is loaded.
  ViewController(std::string nibName, std::filesystem::path bundle);
  /// A controller whose view comes from an interface node already read.
  explicit ViewController(InterfaceNode node);
  virtual ~ViewController() = default;

  void loadViewIfNeeded();
  bool isViewLoaded() const noexcept { return loaded_; }
  /// The root of the view, once loaded.
  const std::shared_ptr<View>& view() const noexcept { return view_; }
  /// The window showing this controller's view, if any.
  std::shared_ptr<Window> window() const { return window_.lock(); }
  /// Shows the error to the person, as the application's standard error alert does.
  void presentError(const Error& error);

  // What an interface file connects, by name. The file is broken when it leaves out a
  // required outlet or action, or names one the controller does not have.

  /// The outlets and the actions every interface file of this controller must connect.
  virtual std::vector<std::string_view> requiredOutlets() const { return {}; }
  virtual std::vector<std::string_view> requiredActions() const { return {}; }
  /// Connects the outlet `name` to `view`; false when there is no such outlet for a view of its kind.
  virtual bool setOutlet(std::string_view name, const std::shared_ptr<View>& view);
  /// What a control does when it sends `selector`; empty when the controller has no such action.
  virtual std::function<void()> action(std::string_view selector);
  /// Keeps `binding` of `view` (such as "enabled" or "value") in step with `keyPath`; false when it cannot.
  virtual bool bind(const std::shared_ptr<View>& view, std::string_view binding, std::string_view keyPath);

 protected:
  /// Builds the view from the interface file or node, if there is one.
  virtual void loadView();
  virtual void viewDidLoad() {}
  void setView(std::shared_ptr<View> view) { view_ = std::move(view); }

 private:
  friend class Window;
  std::weak_ptr<Window> window_;
  bool loaded_ = false;
  std::optional<std::pair<std::string, std::filesystem::path>> nib_;
  std::optional<InterfaceNode> node_;
  std::shared_ptr<View> view_;
};

}  // namespace platform::ui
