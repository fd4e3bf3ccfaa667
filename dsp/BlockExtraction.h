#pragma once
// Splitting a full capture buffer into the two per-channel blocks, and the DC offsets.
// User-interface thread only, like everything that touches the program-wide state.

// Reads CaptureRing, BufferBytes, FilledBuffer, SampleRate, TimeBaseMs, DcOffset1 and DcOffset2;
// writes Channel1Block and Channel2Block. With N = Round(SampleRate / 10) frames per buffer it
// fills elements 0 to N - 1 from buffer FilledBuffer, or at the 10 ms time base elements 0 to
// N - 1 from the buffer recorded before it (buffer 9 before buffer 0) and N to 2N - 1 from
// FilledBuffer. The buffer recorded before is read from the copy that the capture loop keeps of
// it in the second half of its slot (elements P x BufferBytes + BufferBytes / 2 on), which the
// device never writes. Elements above those keep what they held. Each sample has its channel's
// offset subtracted, saturated to -32768..32767. A FilledBuffer outside 0..9 or a ring too small
// for the rate leaves both blocks unchanged.
void ExtractBlock();

// Reads SampleRate and the first N elements of Channel1Block and Channel2Block; writes DcOffset1
// and DcOffset2 as the mean of those elements, rounded half to even. Meant to run right after an
// ExtractBlock done with both offsets at 0. With SampleRate 0 the offsets are left unchanged.
void MeasureDcOffset();
