# SPDX-License-Identifier: MIT
# Sourced by the scripts whose steps are long and noisy.
# quietly WHAT COMMAND...: runs COMMAND with its output in a log in the
# folder $logs names, and shows the log's end when the command fails.
quietly() {
  local what=$1; shift
  local log=$logs/${what//[^a-zA-Z0-9]/-}.log status=0
  mkdir -p "$logs"
  "$@" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    echo "FAILED: $what (exit $status); the end of $log:" >&2
    tail -n 25 "$log" >&2
    exit 1
  fi
}
