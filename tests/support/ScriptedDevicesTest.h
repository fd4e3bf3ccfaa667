#pragma once
// Base fixture for the tests that build the program's windows: the device list holds only the
// scripted devices a test adds (no ALSA, no generator), message boxes are recorded instead of
// shown, and a settings file a test points elsewhere is pointed back afterwards.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/Global.h"
#include "app/SettingsFile.h"
#include "platform/messagebox.h"
#include "platform/wavein_scripted.h"

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
  [[nodiscard]] std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const MessageBoxCall& call : messages_) texts.push_back(call.text);
    return texts;
  }

  std::vector<MessageBoxCall> messages_;

 private:
  std::string settingsPath_;
};
