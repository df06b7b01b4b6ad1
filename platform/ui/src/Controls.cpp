#include "platform/ui/Controls.hpp"

namespace platform::ui {

void TextView::edit(std::string text) {
  text_ = std::move(text);
  if (const auto delegate = delegate_.lock()) delegate->textDidChange();
}

void Button::press() {
  if (enabled_ && action_) action_();
}

std::optional<std::size_t> GridView::rowOf(const View& view) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    for (const auto& candidate : rows_[i].views)
      if (candidate.get() == &view) return i;
  return std::nullopt;
}

}  // namespace platform::ui
