#pragma once
// A main window without Qt widgets for the capture and drawing tests: a client bitmap of a
// chosen size, check boxes as plain flags, panel bounds as stored values, and message
// processing that runs whatever the test puts there.

#include <array>
#include <functional>
#include <string>

#include "app/Global.h"
#include "app/MainWindowView.h"

class FakeMainWindow final : public MainWindowView {
 public:
  explicit FakeMainWindow(int clientWidth = 700, int clientHeight = 520) {
    SetClientSize(clientWidth, clientHeight);
    panels_[static_cast<std::size_t>(DisplayPanel::Time)] = {10, 6, 165, 219};
    panels_[static_cast<std::size_t>(DisplayPanel::Freq)] = {178, 6, 165, 219};
    panels_[static_cast<std::size_t>(DisplayPanel::Control)] = {178, 230, 165, 37};
    FormMain = this;
  }
  ~FakeMainWindow() override {
    if (FormMain == this) FormMain = nullptr;
  }

  void SetClientSize(int width, int height) {
    width_ = width;
    height_ = height;
    surface_.SetSize(width, height);
  }
  void SetChecked(DisplayCheckBox box, bool checked) {
    checks_[static_cast<std::size_t>(box)] = checked;
  }
  Bitmap& Surface() { return surface_; }
  [[nodiscard]] int StartButtonLeft() const { return startButtonLeft_; }
  [[nodiscard]] const std::string& Caption() const { return caption_; }
  [[nodiscard]] int ProcessMessagesCalls() const { return processCalls_; }
  [[nodiscard]] int WindowChangedCalls() const { return changedCalls_; }

  // Runs inside every ProcessMessages, as the window's handlers would.
  std::function<void()> OnProcessMessages;
  // Runs inside every WindowChanged, which ends each drawing step of a frame.
  std::function<void()> OnWindowChanged;

  [[nodiscard]] bool IsChecked(DisplayCheckBox box) const override {
    return checks_[static_cast<std::size_t>(box)];
  }
  Canvas& WindowCanvas() override { return surface_.GetCanvas(); }
  void WindowChanged() override {
    ++changedCalls_;
    if (OnWindowChanged) OnWindowChanged();
  }
  [[nodiscard]] int ClientWidth() const override { return width_; }
  [[nodiscard]] int ClientHeight() const override { return height_; }
  [[nodiscard]] PanelBounds GetPanelBounds(DisplayPanel panel) const override {
    return panels_[static_cast<std::size_t>(panel)];
  }
  void SetPanelBounds(DisplayPanel panel, const PanelBounds& bounds) override {
    panels_[static_cast<std::size_t>(panel)] = bounds;
  }
  void SetStartButtonLeft(int left) override { startButtonLeft_ = left; }
  void SetWindowCaption(const std::string& text) override { caption_ = text; }
  void ProcessMessages() override {
    ++processCalls_;
    if (OnProcessMessages) OnProcessMessages();
  }

 private:
  int width_ = 0;
  int height_ = 0;
  Bitmap surface_;
  std::array<bool, 4> checks_{true, true, true, true};
  std::array<PanelBounds, 3> panels_{};
  int startButtonLeft_ = 0;
  std::string caption_;
  int processCalls_ = 0;
  int changedCalls_ = 0;
};
