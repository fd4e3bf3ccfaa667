#pragma once
// Where each time trace starts: the first rising zero crossing in the first 50 ms of the block.
// User-interface thread only.

// Reads SyncChannel1, SyncChannel2, SampleRate, Channel1Block and Channel2Block; writes
// TriggerIndex1 and TriggerIndex2. Both start at 1 on every call. The search looks at elements
// 1 to L, L = Round(SampleRate * 0.05) (1102 at 22050 Hz, 2205 at 44100 Hz), and finds the first
// i >= 2 whose element i - 1 is negative and element i is zero or more. With both flags each
// channel gets its own result; with one flag that channel's result goes to both indices; with
// none, or SampleRate 0, both stay 1. A channel without a crossing keeps its index at 1.
void FindTriggerPoints();
