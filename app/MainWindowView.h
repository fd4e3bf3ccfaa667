#pragma once
// The main window as the capture loop and the drawing see it: what they read of its controls,
// the client area they draw on, the panels the layout moves and its message processing.
// TFormMain implements it; tests put a fake in its place.

#include <string>

#include "platform/canvas.h"

enum class DisplayCheckBox { A1, A2, F1, F2 };
enum class DisplayPanel { Time, Freq, Control };

struct PanelBounds {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class MainWindowView {
 public:
  MainWindowView() = default;
  MainWindowView(const MainWindowView&) = delete;
  MainWindowView& operator=(const MainWindowView&) = delete;
  virtual ~MainWindowView() = default;

  [[nodiscard]] virtual bool IsChecked(DisplayCheckBox box) const = 0;
  // The client area below the menu bar, as a bitmap's canvas; drawing on it is followed by
  // WindowChanged so that the widget shows it.
  virtual Canvas& WindowCanvas() = 0;
  virtual void WindowChanged() = 0;
  [[nodiscard]] virtual int ClientWidth() const = 0;
  [[nodiscard]] virtual int ClientHeight() const = 0;
  [[nodiscard]] virtual PanelBounds GetPanelBounds(DisplayPanel panel) const = 0;
  virtual void SetPanelBounds(DisplayPanel panel, const PanelBounds& bounds) = 0;
  virtual void SetStartButtonLeft(int left) = 0;
  virtual void SetWindowCaption(const std::string& text) = 0;
  // Dispatches every pending window message; every handler may run inside it.
  virtual void ProcessMessages() = 0;
};

// The main window, for everything outside it that draws on it, writes its caption or lets it
// process its messages. Not owning: the window registers itself for its lifetime.
inline MainWindowView* FormMain = nullptr;
