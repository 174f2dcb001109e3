"""What the report tool's end-to-end scripts share: a run that must
succeed, and the end of a script that lists what failed. The scripts run
with -B and import this from their own folder."""
import subprocess
import sys


def run(tool, args, timeout=120):
    """Runs TOOL ARGS; a run that fails ends the script with its console."""
    result = subprocess.run([tool] + list(args), capture_output=True, text=True, timeout=timeout)
    if result.returncode != 0:
        print("%s %s failed (%d):\n%s%s" % (tool, " ".join(args), result.returncode,
                                           result.stdout, result.stderr))
        sys.exit(1)
    return result


def finish(failures, passed):
    """Prints each failure, or `passed`; the script's exit status."""
    for failure in failures:
        print("FAIL:", failure)
    print("FAILED: %d failures" % len(failures) if failures else passed)
    return 1 if failures else 0
