# Sourced by the UDP scripts with the demo base as its argument: a scratch
# folder holding a copy of the base (without its start-up script) becomes
# the current one. When the script exits, the processes whose ids it added to
# `pids` are ended, its `scratch_cleanup` runs if it defines one, and the
# folder is removed.
work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2> /dev/null; done
  wait 2> /dev/null
  if declare -F scratch_cleanup > /dev/null; then scratch_cleanup; fi
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work" && cp -r "$1" kavrin && rm -f kavrin/main.cfg
