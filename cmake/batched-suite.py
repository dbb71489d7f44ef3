#!/usr/bin/env python3
"""Runs the whole CTest suite of one build with one process per test program instead of one per
test: for the 32-bit suite inside the emulated machine, where every process start costs seconds.

    python3 cmake/batched-suite.py <tests.json> <from build> <to build>

tests.json is `ctest --show-only=json-v1` of the 64-bit build, whose tests are the same; each
command is taken over with the other build's folder and Wine loader. The tests of one program run in
one process, in their order; a test that must have a process of its own (ALONE below), or that sets
its own environment, runs alone, as every test that is no gtest test does. Run inside a Wine session
of the build (cmake/wine-run.sh). Prints a line per test, the output of each failed one, and a
summary as CTest does; exits 1 when a test failed.

A program that dies or stops answering fails the test it was running; the rest of its tests go on
in a new process. A failed test whose output shows Wine losing a new process in its start-up
(CreateProcess error 1359) runs once more alone, as the test command does for the other suite.
"""
import json
import os
import re
import subprocess
import sys
import threading
import time

# Tests that a test before them in the same process would disturb, or that would disturb those
# after them: each runs in a process of its own. These end the message loop of the process's one
# application, which stays ended.
ALONE = {
    "Application.RunsTheMessageLoopUntilTheMainFormClosesFromItsTimer",
    "Application.ProcessMessagesNoticesAQuitMessage",
    "Application.AQuitTakenOutOfTheQueueByASentMessagesHandlerStillEndsTheLoop",
}

LOST_PROCESS = re.compile(r"(error|code)[^0-9]*1359([^0-9]|$)")
RESULT = re.compile(r"^\[ +(OK|FAILED|SKIPPED) +\] (\S+)")


def properties(test):
    found = {}
    for entry in test.get("properties", []):
        found[entry["name"]] = entry["value"]
    return found


def main():
    tests_file, source, target = sys.argv[1:4]
    source, target = os.path.abspath(source), os.path.abspath(target)
    scale = float(os.environ.get("TOLVANE_TIME_SCALE", "1"))

    def moved(text):
        return text.replace(source, target).replace("/usr/lib/wine/wine64", "/usr/lib/wine/wine")

    with open(tests_file, encoding="utf-8") as file:
        listed = json.load(file)["tests"]
    tests = []
    for test in listed:
        props = properties(test)
        tests.append({
            "name": test["name"],
            "command": [moved(part) for part in test.get("command", [])],
            "environment": [moved(value) for value in props.get("ENVIRONMENT", [])],
            "timeout": float(props.get("TIMEOUT", 60)) * scale,
            "skip": props.get("SKIP_RETURN_CODE"),
            "disabled": props.get("DISABLED", False),
            "directory": moved(props.get("WORKING_DIRECTORY", os.getcwd())),
        })

    results = {}  # name -> (passed, output, seconds)
    extra = []  # failures that are no test of the list: a program that ended badly after its tests
    started = time.time()

    def run(command, environment, directory, timeout, on_line=None):
        """Runs one process; gives its exit code (None when it had to be stopped) and output."""
        env = dict(os.environ)
        for assignment in environment:
            name, _, value = assignment.partition("=")
            env[name] = value
        process = subprocess.Popen(command, cwd=directory, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        lines = []
        last = [time.time()]

        def read():
            for raw in process.stdout:
                line = raw.decode("utf-8", "replace").rstrip("\r\n")
                lines.append(line)
                last[0] = time.time()
                if on_line is not None:
                    on_line(line)

        reader = threading.Thread(target=read)
        reader.start()
        stopped = False
        while process.poll() is None:
            # A program gets the time its current test may take since it last said something.
            if time.time() - last[0] > timeout():
                process.kill()
                stopped = True
            time.sleep(0.2)
        reader.join()
        return (None if stopped else process.returncode), lines

    def run_alone(test):
        begin = time.time()
        code, lines = run(test["command"], test["environment"], test["directory"], lambda: test["timeout"])
        passed = code == 0 or (test["skip"] is not None and code is not None and str(code) == str(test["skip"]))
        if code is None:
            lines.append("(stopped: no answer within %.0f s)" % test["timeout"])
        return passed, "\n".join(lines), time.time() - begin

    def run_batch(program, batch):
        """The tests of one program, in one process, again for those left when it dies."""
        remaining = list(batch)
        while remaining:
            by_name = {test["name"]: test for test in remaining}
            current = {"name": None, "begin": 0.0, "lines": []}
            done = []

            def on_line(line):
                if line.startswith("[ RUN      ] "):
                    current["name"] = line[13:].strip()
                    current["begin"] = time.time()
                    current["lines"] = [line]
                    return
                current["lines"].append(line)
                match = RESULT.match(line)
                if match and match.group(2) == current["name"]:
                    name = current["name"]
                    results[name] = (match.group(1) != "FAILED", "\n".join(current["lines"]),
                                     time.time() - current["begin"])
                    done.append(name)
                    report(name)
                    current["name"] = None

            def timeout():
                test = by_name.get(current["name"] or "")
                return test["timeout"] if test else 60 * scale

            names = ":".join(test["name"] for test in remaining)
            command = [remaining[0]["command"][0], program, "--gtest_filter=" + names]
            code, lines = run(command, [], remaining[0]["directory"], timeout, on_line)
            if current["name"] is not None:
                name = current["name"]
                reason = "stopped: no answer within %.0f s" % timeout() if code is None else "the program ended (%s)" % code
                results[name] = (False, "\n".join(current["lines"] + ["(" + reason + ")"]), time.time() - current["begin"])
                done.append(name)
                report(name)
            left = [test for test in remaining if test["name"] not in done]
            if not left and code not in (0, 1):
                # Every test reported, yet the program ended badly (in its teardown, say).
                name = "%s (its end)" % os.path.basename(program)
                results[name] = (False, "\n".join(lines[-40:] + ["(the program ended with %s)" % code]), 0.0)
                extra.append(name)
                report(name)
            if len(left) == len(remaining):
                for test in left:  # it ran none of them: each is run alone instead
                    results[test["name"]] = run_alone(test)
                    report(test["name"])
                return
            remaining = left

    count = [0]
    total = sum(1 for test in tests if not test["disabled"])

    def report(name):
        count[0] += 1
        passed, _, seconds = results[name]
        print("%3d/%d %-90s %s %7.2f sec" % (count[0], total, name, "  Passed" if passed else "***Failed", seconds),
              flush=True)

    groups = {}
    order = []
    for test in tests:
        if test["disabled"]:
            continue
        command = test["command"]
        gtest = (len(command) >= 3 and command[2] == "--gtest_filter=" + test["name"] and not test["environment"]
                 and test["name"] not in ALONE)
        key = command[1] if gtest else None
        if key is None:
            order.append(("alone", test))
        else:
            if key not in groups:
                groups[key] = []
                order.append(("batch", key))
            groups[key].append(test)
    for kind, item in order:
        if kind == "batch":
            run_batch(item, groups[item])
        else:
            results[item["name"]] = run_alone(item)
            report(item["name"])

    # Wine now and then loses a new process in its own start-up: such a failure gets one more run.
    lost = [test for test in tests if not test["disabled"] and not results[test["name"]][0]
            and LOST_PROCESS.search(results[test["name"]][1])]
    if lost:
        print("Wine lost a new process in its start-up (CreateProcess error 1359), run again alone:",
              " ".join(test["name"] for test in lost), flush=True)
        for test in lost:
            results[test["name"]] = run_alone(test)
            count[0] -= 1
            report(test["name"])

    failed = [test["name"] for test in tests if not test["disabled"] and not results[test["name"]][0]] + extra
    for name in failed:
        print("\n---- output of %s ----\n%s" % (name, results[name][1]))
    passed = total - len(failed)
    print("\n%d%% tests passed, %d tests failed out of %d" % (100 * passed // max(total, 1), len(failed), total))
    print("\nTotal Test time (real) = %.2f sec" % (time.time() - started))
    disabled = [test["name"] for test in tests if test["disabled"]]
    if disabled:
        print("\nThe following tests did not run:\n" + "\n".join("\t%s (Disabled)" % name for name in disabled))
    if failed:
        print("\nThe following tests FAILED:\n" + "\n".join("\t%s (Failed)" % name for name in failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
