#pragma once

class QApplication;
class QRect;
class QWidget;

namespace vkt {

// Keeps every window of the program inside the screen's available area: a window larger than
// that area (the graph's 870 × 640 on a 1024 × 600 laptop, the report preview) is scaled down to
// it when it is shown, and one that would stand partly off the screen is moved onto it.
void fit_into_screen(QWidget& window);
// The same for a given area of the screen.
void fit_into_area(QWidget& window, const QRect& area);

// Fits each top-level window as it is shown, for the whole application.
void keep_windows_on_screen(QApplication& application);

}  // namespace vkt
