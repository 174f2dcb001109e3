"""The manual page states every message the program prints, word for word,
with the exit status that goes with it, and documents every option of the
usage text.

Each case below drives the program into one message; the message, with its
file names and code written back as %s and %d and its line ends as the two
characters \\n, must stand in the rendered page, and the entry it heads
must name the status the program ended with.

Usage: python3 man_messages.py PROGRAM PAGE
"""
import os
import re
import subprocess
import sys
import tempfile

PROGRAM, PAGE = sys.argv[1], sys.argv[2]

GOOD = "1 1 3 20\n1 2 5 24\n2 3 2 10\n2 4 4 12\n"

# name, data file text (None: no data file), arguments, names that the
# message shows (written back as %s, in order), setup in the folder. One
# case per documented message: the rules behind each are the other tests'.
CASES = [
    ("UnknownOption", GOOD, ["data.txt", "out.tsv", "-Q"], [], None),
    ("SameFile", GOOD, ["data.txt", "data.txt"], ["data.txt", "data.txt"], None),
    ("MissingData", None, ["missing.txt", "out.tsv"], ["missing.txt"], None),
    ("OutOfRange", "1 1 3 20\n1 7 2 0\n", ["data.txt", "out.tsv"], [], None),
    ("Malformed", "1 1 3 20\n1 2 x 4\n", ["data.txt", "out.tsv"], [], None),
    ("NoFolderForLog", GOOD, ["data.txt", "none/out.tsv"], ["none/out.log"], None),
]
if os.path.exists("/dev/full"):
    CASES.append(("DiskFull", GOOD, ["data.txt", "full.tsv"], ["full.tsv"], "full"))


def render(page):
    # Wide lines and no hyphenation keep each paragraph on one line.
    result = subprocess.run(
        ["groff", "-man", "-Tascii", "-P-cbou", "-rLL=400n", "-rHY=0", page],
        capture_output=True, text=True, check=True)
    return [line.rstrip() for line in result.stdout.splitlines()]


def message_of(console):
    """The console text after the banner and the three name lines."""
    lines = console.split("\n")
    names = [i for i, line in enumerate(lines) if line.startswith(" LogFileName : ")]
    first = names[-1] + 1 if names else 3
    return "\n".join(lines[first:])


def template(message, names):
    for name in names:
        assert name in message, (name, message)
        message = message.replace(name, "%s", 1)
    message = re.sub(r"code-(-?\d+)", "code-%d", message)
    return message.replace("\n", "\\n")


def entry_after(lines, index):
    """The indented paragraph under the tag at `index`, joined."""
    body = []
    for line in lines[index + 1:]:
        if not line.strip():
            break
        body.append(line.strip())
    return " ".join(body)


def main():
    if subprocess.run(["sh", "-c", "command -v groff"], capture_output=True).returncode:
        print("SKIPPED: groff not installed (Debian package groff-base)")
        return 77
    page = render(PAGE)
    failures = []
    statuses = set()
    for name, data, args, shown, setup in CASES:
        with tempfile.TemporaryDirectory() as folder:
            if data is not None:
                with open(os.path.join(folder, "data.txt"), "w") as f:
                    f.write(data)
            if setup == "full":
                os.symlink("/dev/full", os.path.join(folder, "full.tsv"))
            run = subprocess.run([PROGRAM] + args, cwd=folder, capture_output=True)
            console = run.stdout.decode()
        if run.returncode == 0:
            failures.append(f"{name}: status 0, expected an error")
            continue
        statuses.add(run.returncode)
        text = template(message_of(console), shown)
        tags = [i for i, line in enumerate(page) if line.strip() == text]
        if not tags:
            failures.append(f"{name}: message {text!r} is not in the page")
            continue
        entry = entry_after(page, tags[0])
        if not re.search(rf"\b[Ss]tatus {run.returncode}\b", entry):
            failures.append(f"{name}: the entry of {text!r} does not say status "
                            f"{run.returncode}: {entry!r}")

    # Every status the program ended with has an item under EXIT STATUS.
    start = page.index("EXIT STATUS")
    end = next(i for i in range(start + 1, len(page)) if page[i] and not page[i][0].isspace())
    for status in sorted(statuses | {0}):
        if not any(re.match(rf"^\s+{status}(\s|$)", line) for line in page[start:end]):
            failures.append(f"status {status} has no item under EXIT STATUS")

    # Every option of the usage text, and -T, is an item under OPTIONS.
    usage = subprocess.run([PROGRAM], capture_output=True, text=True).stdout
    letters = set(re.findall(r"^   -([A-Z])", usage, re.MULTILINE)) | {"T"}
    if len(letters) < 5:
        failures.append(f"usage text shows too few options: {usage!r}")
    start = page.index("OPTIONS")
    for letter in sorted(letters):
        if not any(re.match(rf"^\s+-{letter}\w*(\s|$)", line) for line in page[start:]):
            failures.append(f"option -{letter} has no item under OPTIONS")

    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(CASES)} messages checked against {PAGE}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
