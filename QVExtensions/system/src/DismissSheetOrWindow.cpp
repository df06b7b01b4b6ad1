#include "QVExtensions/DismissSheetOrWindow.hpp"

#include "platform/ui/Application.hpp"

namespace QVExtensions {

void dismissSheetOrWindow(platform::ui::PresentationMode& presentation) {
  const auto& application = platform::ui::Application::shared();
  if (const auto main = application.mainWindow())
    if (const auto key = application.keyWindow(); key && key != main) main->endSheet(*key);
  presentation.dismiss();
}

}  // namespace QVExtensions
