#pragma once
// Device capabilities, the choice of the capture rate, and the polled capture loop.
// User-interface thread only.

// Re-reads the capability record of device i into InputDeviceCaps[i]. Indexes outside the
// table (0 to 10) are ignored; the call's result is not examined, so a failed query leaves
// the entry as it was.
void QueryDeviceCaps(int i);

// Takes the device list as it is now (waveInGetNumDevs) and returns its length. A device the
// user has chosen (DeviceChosen) is followed to its place in the new list; when it has gone (or
// lies beyond the table) DeviceIndex becomes -1, so that START reports the failure instead of
// opening whichever device took its place. Before any choice DeviceIndex stays 0.
int ListInputDevices();

// Sets Has22kStereo16, Has44kStereo16 and SampleRate (44100, else 22050, else 0) from the
// format bits of entry DeviceIndex.
void ChooseSampleRate();

// One capture run on device DeviceIndex at SampleRate: opens it, queues ten buffers of 100 ms
// cut from CaptureRing, and polls them (processing the window's messages once per poll) until
// Capturing is cleared; then resets and closes the device. A device that cannot be opened
// gives one "Failed to execute" box and a return with Capturing cleared.
// Precondition: Capturing is 1, FormMain is set and no other run is active.
void RunCapture();

// True while a RunCapture is on the stack: from its start until it has closed the device again,
// so also while its last poll finishes after a STOP. Until then the device must not change and
// no other run may open it.
bool CaptureRunActive();

// Draws one block: trigger search, spectrum while a frequency channel is shown, both
// bitmaps, and the copy onto the window.
void ComposeFrame();
