#!/usr/bin/env bash
# Installs what is missing, builds, makes sure Tonedeck is installed for this user, and
# starts it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh"
"$here/build/bin/tdtool" setup
"$here/build/bin/tdtool" paths
