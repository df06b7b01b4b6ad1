#pragma once
// Closing a view that was presented modally: the sheet that is the application's key
// window is ended on the main window, then the presentation is dismissed. Main thread only.

#include "platform/ui/Controls.hpp"

namespace QVExtensions {

/// Ends the sheet that is the key window, when the application has a main window and such a
/// sheet; in every case then dismisses `presentation`.
void dismissSheetOrWindow(platform::ui::PresentationMode& presentation);

}  // namespace QVExtensions
