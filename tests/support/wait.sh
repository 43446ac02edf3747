# The one way the tests wait: for a condition, polled, with a deadline.
# Sourced.

# Runs the command until it succeeds, for up to $1 seconds.
wait_until() {
    local deadline=$((SECONDS + $1))
    until "${@:2}"; do
        ((SECONDS < deadline)) || { echo "gave up waiting for: ${*:2}" >&2; return 1; }
        sleep 0.1
    done
}
