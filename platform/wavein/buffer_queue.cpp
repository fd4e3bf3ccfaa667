#include <algorithm>
#include <cstring>

#include "platform/wavein/buffer_queue.h"
#include "platform/wavein/device.h"

void WaveBufferQueue::Add(WAVEHDR* header) {
  const std::scoped_lock lock(mutex_);
  header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  SetBytesRecorded(*header, 0);
  queue_.push_back(header);
}

void WaveBufferQueue::SetRecording(bool recording) {
  const std::scoped_lock lock(mutex_);
  recording_ = recording;
}

bool WaveBufferQueue::Recording() const {
  const std::scoped_lock lock(mutex_);
  return recording_;
}

void WaveBufferQueue::Write(const std::int16_t* interleaved, std::size_t frames) {
  const std::scoped_lock lock(mutex_);
  if (!recording_) return;
  const auto* source = reinterpret_cast<const char*>(interleaved);
  std::size_t bytes = frames * WaveFrameBytes;
  while (bytes > 0 && !queue_.empty()) {
    WAVEHDR* head = queue_.front();
    const std::size_t room = head->dwBufferLength - headFill_;
    const std::size_t chunk = std::min(room, bytes);
    std::memcpy(head->lpData + headFill_, source, chunk);
    headFill_ += chunk;
    source += chunk;
    bytes -= chunk;
    if (headFill_ == head->dwBufferLength) {
      head->dwFlags = (head->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
      SetBytesRecorded(*head, head->dwBufferLength);
      queue_.pop_front();
      headFill_ = 0;
    }
  }
  dropped_ += bytes / WaveFrameBytes;
}

void WaveBufferQueue::ReturnAll() {
  const std::scoped_lock lock(mutex_);
  recording_ = false;
  bool head = true;
  for (WAVEHDR* header : queue_) {
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    SetBytesRecorded(*header, head ? static_cast<DWORD>(headFill_) : 0);
    head = false;
  }
  queue_.clear();
  headFill_ = 0;
}

std::size_t WaveBufferQueue::Queued() const {
  const std::scoped_lock lock(mutex_);
  return queue_.size();
}

std::uint64_t WaveBufferQueue::DroppedFrames() const {
  const std::scoped_lock lock(mutex_);
  return dropped_;
}
