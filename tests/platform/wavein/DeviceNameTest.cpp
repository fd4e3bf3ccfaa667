// Device names: 31 bytes, whole words where possible, never half a character, none twice.
#include "platform/wavein/device_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FitCase {
  std::string description;
  std::string prefix;
  std::string shown;
};

TEST(DeviceName, ShortensByWholeWordsAndKeepsWhatTheNameSays) {
  const std::vector<FitCase> cases{
      {"HDA Intel PCH: ALC887 Analog", "", "HDA Intel PCH: ALC887 Analog"},
      {"  PipeWire Sound Server\nDefault ALSA Output", "", "PipeWire Sound Server"},
      {"Built-in Audio Analog Stereo", "Monitor: ", "Monitor: Built-in Audio Analog"},
      {"Built-in Audio Analog Stereo", "Default: ", "Default: Built-in Audio Analog"},
      // A bracket whose partner is cut off says nothing; a whole one stays.
      {"Default ALSA Output (currently PipeWire Media Server)", "", "Default ALSA Output"},
      {"Webcam (C920) Pro Stream Microphone Input", "", "Webcam (C920) Pro Stream"},
      // Nor does a separator left at the end.
      {"Sound Blaster Recording Dev - Front Mic", "", "Sound Blaster Recording Dev"},
      {"Bench Microphone (USB) \xE2\x80\x93 Front Left Capsule", "", "Bench Microphone (USB)"},
      // Non-ASCII text is cut between words too (the \xC3\x89 is two bytes).
      {"\xC3\x89lan Studio Monitor Output Stage 3", "", "\xC3\x89lan Studio Monitor Output"},
      // One word longer than the room can only be cut inside, at a character.
      {std::string(40, 'a'), "", std::string(31, 'a')},
      {std::string(30, 'b') + "\xC3\xA9", "", std::string(30, 'b')},
      {" \t\n", "", ""},
  };
  for (const FitCase& c : cases) {
    const std::string shown = FitDeviceName(c.description, c.prefix);
    EXPECT_EQ(shown, c.shown) << c.prefix << c.description;
    EXPECT_LE(shown.size(), DeviceNameBytes);
  }
}

TEST(DeviceName, CutsAtTheLastWholeCharacterWhateverBytesFollow) {
  struct CutCase {
    std::string text;
    std::size_t kept;
  };
  const std::vector<CutCase> cases{
      {std::string(29, 'b') + "\xC3\xA9" + "c", 31},
      {std::string(28, 'b') + "\xE2\x82\xAC" + "x", 31},
      {std::string(29, 'b') + "\xE2\x82\xAC", 29},
      // Stray continuation bytes after a complete character do not take that character along.
      {std::string(29, 'a') + "\xC3\xA9\x80\x80", 31},
      // Bytes that form no character (Latin-1 text, a sequence cut short) are kept one by one.
      {"Caf\xE9 \xFF\xFE input", 14},
      {std::string(31, '\xE9') + "z", 31},
      {std::string(30, 'a') + "\xE2\x82", 31},
      // A four-byte character is whole or absent.
      {std::string(28, 'a') + "\xF0\x9F\x8E\xA4", 28},
      {std::string(27, 'a') + "\xF0\x9F\x8E\xA4", 31},
  };
  for (const CutCase& c : cases) {
    EXPECT_EQ(CutAtCharacter(c.text), c.text.substr(0, c.kept)) << c.text;
  }
}

TEST(DeviceName, RepeatedNamesGetNumbersWithinTheLimit) {
  std::vector<std::string> names{"USB Microphone", "Line In",
                                 "USB Microphone", "Monitor: Built-in Audio Analog",
                                 "USB Microphone", "Monitor: Built-in Audio Analog"};
  MakeNamesDistinct(names);
  EXPECT_EQ(names, (std::vector<std::string>{"USB Microphone", "Line In", "USB Microphone 2",
                                             "Monitor: Built-in Audio Analog", "USB Microphone 3",
                                             "Monitor: Built-in Audio 2"}));
}

}  // namespace
