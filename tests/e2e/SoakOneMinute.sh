#!/usr/bin/env bash
# One minute of capture on the signal generator under a virtual X display: the memory stays
# flat once the window has settled (RSS growth from 20 s to 60 s under 256 kB, where a creep
# of 1 MB a minute would pass 600 kB), and blocks are still shown at the end. Counts only,
# never a timing; the frames dropped are reported, not checked, since the load of the tests
# beside it decides them.
# Usage: SoakOneMinute.sh <corvane binary>
set -euo pipefail
exec bash "$(dirname "$0")/../../bench/soak.sh" --duration 60 --every 5 --settle 20 \
  --max-growth 256 --check "${1:?usage: $0 <corvane binary>}"
