# Shared by the command-line test scripts (sourced; run needs CLI set): a scratch folder WORK
# removed on exit, fail MESSAGE counting failures in failed, and run ARGS... that runs obrin-cli
# with its exit status in STATUS and its outputs in OUT and ERR (and $WORK/out, $WORK/err).
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failed=0
fail() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}
run() {
  set +e
  "$CLI" "$@" >"$WORK/out" 2>"$WORK/err"
  STATUS=$?
  set -e
  OUT=$(cat "$WORK/out")
  ERR=$(cat "$WORK/err")
}
