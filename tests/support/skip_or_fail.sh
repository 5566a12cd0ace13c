# Sourced by the tests' shell scripts, as support/skip_or_fail.h for the
# C++ tests: skip_or_fail <reason> ends the script as skipped (77, the
# tests' SKIP_RETURN_CODE) when run by hand, and as failed under
# `make test`, which sets OSTREL_NO_SKIP.
skip_or_fail() {
  echo "$1"
  if [ -n "${OSTREL_NO_SKIP:-}" ] && [ "$OSTREL_NO_SKIP" != 0 ]; then
    echo "(OSTREL_NO_SKIP is set: no skip)"
    exit 1
  fi
  exit 77
}
