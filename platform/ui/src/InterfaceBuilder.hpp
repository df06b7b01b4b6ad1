#pragma once
// Builds a controller's view from its interface node and makes the node's connections;
// stops the process when the node is broken.

#include <memory>

#include "platform/ui/Interface.hpp"

namespace platform::ui {

class View;
class ViewController;

std::shared_ptr<View> buildInterface(ViewController& controller, const InterfaceNode& node);

}  // namespace platform::ui
