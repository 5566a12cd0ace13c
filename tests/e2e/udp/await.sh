# Sourced by the UDP scripts. Waits up to $2 seconds for a line matching the
# extended pattern $3 in file $1.
await() {
  for _ in $(seq 1 $(( $2 * 10 ))); do
    grep -qE "$3" "$1" 2> /dev/null && return 0
    sleep 0.1
  done
  return 1
}
