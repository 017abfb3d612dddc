#pragma once

class QWidget;

namespace vellora {

// Centres a top-level window on the primary screen's free area, frame included.
void centreOnScreen(QWidget* window);

} // namespace vellora
