// ThreadSanitizer's suppressions for the test binary. Every device list tries alsa-lib's pulse
// plugin, which runs libpulse's mainloop thread; libpulse is not instrumented and hands its
// mutexes from thread to thread through its own futex and pipe signalling, which
// ThreadSanitizer cannot see.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() { return "race:libpulsecommon\n"; }
#endif
