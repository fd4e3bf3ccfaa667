// The floor of the capture loop's cost: a loop that only sleeps 1 ms at a time, as the loop does
// once a poll, for the seconds given. bench/poll_cost.sh measures it beside the program.
// Usage: corvane_sleep_loop SECONDS
#include <chrono>
#include <cstdlib>

#include "platform/kernel.h"

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) Sleep(1);
  return 0;
}
