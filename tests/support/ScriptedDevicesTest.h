#pragma once
// Base fixtures for the tests that build the program's windows: the device list holds only the
// scripted devices a test adds (no ALSA, no generator), message boxes are recorded instead of
// shown, and a settings file a test points elsewhere is pointed back afterwards.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/MainWindowView.h"
#include "app/Settings.h"
#include "app/SettingsFile.h"
#include "app/main.h"
#include "platform/messagebox.h"
#include "platform/wavein/scripted_device.h"

class ScriptedDevicesTest : public testing::Test {
 protected:
  void SetUp() override {
    ResetGlobals();
    setenv("CORVANE_NO_GENERATOR", "1", 1);
    setenv("CORVANE_NO_ALSA", "1", 1);
    ClearScriptedWaveIns();
    SetMessageBoxHook([this](const MessageBoxCall& call) { messages_.push_back(call); });
    settingsPath_ = SettingsFilePath();
  }
  void TearDown() override {
    SetSettingsFilePath(settingsPath_);
    SetMessageBoxHook({});
    ClearScriptedWaveIns();
  }

  static std::shared_ptr<ScriptedWaveIn> AddDevice(const std::string& name, DWORD formats) {
    auto device = std::make_shared<ScriptedWaveIn>(name, formats);
    RegisterScriptedWaveIn(device);
    return device;
  }
  // Runs action inside the capture loop's message processing once condition holds, looking
  // every millisecond; a condition that never comes clicks STOP after a while instead, so that
  // a failed test still ends.
  static void WhenInsideTheRun(TFormMain& form, const std::function<bool()>& condition,
                               const std::function<void()>& action) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    // Parented to the window, which deletes it if the test ends first.
    auto* timer = new QTimer(&form);
    timer->setInterval(1);
    QObject::connect(timer, &QTimer::timeout, &form, [=, &form] {
      const bool timedOut = std::chrono::steady_clock::now() > giveUp;
      if (!condition() && !timedOut) return;
      timer->stop();
      timer->deleteLater();
      if (timedOut) {
        ADD_FAILURE() << "the run never came to the point the test waited for";
        form.BitBtnStart->click();
      } else {
        action();
      }
    });
    timer->start();
  }
  [[nodiscard]] std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxCall& call : messages_) texts.push_back(call.text);
    return texts;
  }

  std::vector<MessageBoxCall> messages_;

 private:
  std::string settingsPath_;
};

// The main window and the settings dialog as the program makes them at start-up, over the
// scripted devices; both go before the base's tear-down.
class ProgramWindowsTest : public ScriptedDevicesTest {
 protected:
  void TearDown() override {
    dialog_.reset();
    form_.reset();
    ScriptedDevicesTest::TearDown();
  }

  // The program starts: its first listing of the devices.
  void CreateWindows() {
    form_ = std::make_unique<TFormMain>();
    dialog_ = std::make_unique<TFormSettings>();
  }

  std::unique_ptr<TFormMain> form_;
  std::unique_ptr<TFormSettings> dialog_;
};
