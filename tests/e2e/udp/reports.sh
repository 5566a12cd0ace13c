# Sourced by the UDP scripts: reading the players' reports.
# Waits up to $2 seconds for a line matching the extended pattern $3 in file $1.
await() {
  for _ in $(seq 1 $(( $2 * 10 ))); do
    grep -qE "$3" "$1" 2> /dev/null && return 0
    sleep 0.1
  done
  return 1
}
# Whether the reports in file $1 show a figure (class 5) that went straight
# north by the walk's distance from where it was first seen.
walked_north() {
  awk '$1 == "moved" && $2 ~ /^5[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]$/ && $9 >= $5 + 100 && $8 - $4 < 1 && $4 - $8 < 1 \
       { found = 1 } END { exit !found }' "$1"
}
