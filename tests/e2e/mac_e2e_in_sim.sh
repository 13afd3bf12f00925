#!/usr/bin/env bash
# Inside the simulated Mac, as the user: gives scripts/mac-e2e.sh the screen a hosted Mac has (an
# X server) and runs it unchanged against the bundle this build made. Needs what window.sh needs.
#   mac_e2e_in_sim.sh APP_BUNDLE      (screenshots and outputs go to $SIM_OUTPUT)
set -euo pipefail
here=$(cd "${BASH_SOURCE[0]%/*}" && pwd)
# shellcheck source=window.sh
. "$here/window.sh"
start_xvfb
exec "$here/../../scripts/mac-e2e.sh" "$1" "$SIM_OUTPUT"
