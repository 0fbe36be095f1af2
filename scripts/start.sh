#!/usr/bin/env bash
# Installs what is missing, builds, makes sure Tonedeck is set up for this user, and
# starts the bar.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh"
"$here/build/bin/tdtool" setup
exec "$here/build/bin/tonedeck"
