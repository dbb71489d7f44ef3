# The whole CTest suite of a build folder in a Wine session of its own, one process per test, with
# one more run for a test that Wine lost: it now and then loses a new process in its own start-up
# (CreateProcess fails with its internal error, 1359, before the program ran a line). A test whose
# output shows that is run once more, in a fresh session, and named with the reason; every other
# failure stands. Sourced by cmake/test.sh and cmake/test32.sh.
run_suite() {  # run_suite <build folder>
  local build_dir=$1 failed_list=$1/Testing/Temporary/LastTestsFailed.log log=$1/Testing/Temporary/LastTest.log
  local run=(xvfb-run -a -s "-screen 0 1280x1024x24" bash cmake/wine-run.sh "$build_dir"
             ctest --test-dir "$build_dir" --output-on-failure --timeout 120)
  rm -f "$failed_list"
  "${run[@]}" && return 0
  [ -s "$failed_list" ] || return 1
  local name lost=()
  while read -r name; do
    if awk -v name="$name" '
        { line = $0 }
        sub(/^[0-9]+\/[0-9]+ Test: /, "", line) { inside = line == name }
        inside && /(error|code)[^0-9]*1359([^0-9]|$)/ { found = 1 }
        END { exit found ? 0 : 1 }' "$log"; then
      lost+=("$name")
    else
      return 1
    fi
  done < <(cut -d: -f2 "$failed_list")
  echo "Wine lost a new process in its start-up (CreateProcess error 1359), run again: ${lost[*]}"
  "${run[@]}" --rerun-failed
}
