"""Runs the commands of README.md as written and compares what they print
with the README's text.

Fenced blocks tagged sh, python or r are run in order, in one scratch
folder that holds copies of examples/ and doc/ and build/propsmooth (the
program under test), so later blocks see the files of earlier ones. The
report tool is build/src/report_tool/propsmooth-report there, as in a build
folder; when it is not built, a block that names it is skipped with a note
and its text block is not compared. Each
line of an sh block is one command and must end with status 0; a make
command is checked with `make -n` in the source tree instead of being run
(it would build into the source tree, and `make test` would run this test
again), and `make demo` also runs the demo script that it ends with. A
block tagged text right after a block that ran must equal that block's
standard output, CR LF read as LF. A python block that imports pandas, or
an r block (also one whose library() R lacks), is skipped with a note when
no interpreter has what it needs.
A python block that imports propsmooth runs with the module's interpreter
and package folder (PROPSMOOTH_PYTHON3 and PROPSMOOTH_PYTHON_PATH in the
environment); without them, or one that imports propsmooth.dask where the
package has no dask module or the interpreter no geopandas, it is skipped
with a note.

Usage: python3 readme_commands.py PROGRAM SOURCE_DIR [REPORT_PROGRAM]
(REPORT_PROGRAM empty or missing: propsmooth-report is not built.)
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

PROGRAM, SOURCE = sys.argv[1], sys.argv[2]
REPORT = sys.argv[3] if len(sys.argv) > 3 and sys.argv[3] else None
REPORT_IN_BUILD = os.path.join("build", "src", "report_tool", "propsmooth-report")
RUN_TAGS = ("sh", "python", "r")


def blocks(readme):
    """[(tag, text, line number)] of the fenced blocks, their indent removed."""
    found = []
    lines = readme.split("\n")
    i = 0
    while i < len(lines):
        opening = re.match(r"^(\s*)```(\w*)\s*$", lines[i])
        if not opening:
            i += 1
            continue
        indent, tag, start = len(opening.group(1)), opening.group(2), i + 1
        body = []
        i += 1
        while i < len(lines) and lines[i].strip() != "```":
            body.append(lines[i][indent:] if lines[i][:indent].isspace() else lines[i])
            i += 1
        if i == len(lines):
            raise SystemExit(f"README.md:{start}: fence not closed")
        found.append((tag, "\n".join(body) + "\n", start))
        i += 1
    return found


def clean_env():
    env = dict(os.environ, MANPAGER="cat", PAGER="cat", LC_ALL="C.UTF-8", MANWIDTH="80")
    # Keep an outer make's job server away from the make -n checks.
    for name in ("MAKEFLAGS", "MFLAGS", "MAKELEVEL"):
        env.pop(name, None)
    return env


def run_sh(text, scratch, where, notes):
    output = []
    for line in text.splitlines():
        command = line.strip()
        if not command or command.startswith("#"):
            continue
        if command.startswith("make") and (len(command) == 4 or command[4].isspace()):
            check = subprocess.run("make -n" + command[4:], shell=True, cwd=SOURCE,
                                   env=clean_env(), capture_output=True, text=True)
            if check.returncode != 0:
                raise AssertionError(f"{where}: `make -n` for `{command}` failed:\n"
                                     f"{check.stdout}{check.stderr}")
            if command.split("#")[0].split() == ["make", "demo"]:
                run_command("sh examples/demo.sh build/propsmooth", scratch, where)
            continue
        if command.split()[0] == "man" and shutil.which("man") is None:
            notes.append(f"{where}: man not installed, `{command}` not run")
            continue
        output.append(run_command(command, scratch, where))
    return "".join(output)


def run_command(command, scratch, where, python_path=None):
    env = clean_env()
    if python_path:
        env["PYTHONPATH"] = python_path
    run = subprocess.run(command, shell=True, cwd=scratch, env=env, capture_output=True)
    if run.returncode != 0:
        raise AssertionError(f"{where}: `{command}` ended with status {run.returncode}:\n"
                             f"{run.stdout.decode(errors='replace')}"
                             f"{run.stderr.decode(errors='replace')}")
    return run.stdout.decode()


def python_for(text):
    """An interpreter that can run `text` and the PYTHONPATH it needs, or
    None and why not."""
    if "import propsmooth" in text:
        python = os.environ.get("PROPSMOOTH_PYTHON3")
        package = os.environ.get("PROPSMOOTH_PYTHON_PATH")
        if not python or not package:
            return None, "the Python module is not built"
        if "propsmooth.dask" in text and not os.path.exists(
                os.path.join(package, "propsmooth", "dask.py")):
            return None, "the package has no dask module"
        if "import geopandas" in text and subprocess.run(
                [python, "-c", "import geopandas"], capture_output=True).returncode != 0:
            return None, "geopandas not installed"
        return python, package
    return pandas_python(text), None


def pandas_python(text):
    """An interpreter that can run `text`, or None."""
    candidates = [sys.executable, shutil.which("python3"), "/usr/bin/python3"]
    if "import pandas" not in text:
        return sys.executable
    for python in candidates:
        if python and os.path.exists(python) and subprocess.run(
                [python, "-c", "import pandas"], capture_output=True).returncode == 0:
            return python
    return None


def r_lacks(rscript, text):
    """The packages `text` loads with library() that R does not have."""
    return [name for name in re.findall(r"library\((\w+)\)", text)
            if subprocess.run([rscript, "-e", f"quit(status = !requireNamespace('{name}', "
                               "quietly = TRUE))"], capture_output=True).returncode != 0]


def run_script(interpreter, suffix, text, scratch, where, python_path=None):
    path = os.path.join(scratch, "readme-block" + suffix)
    with open(path, "w") as f:
        f.write(text)
    try:
        return run_command(f"'{interpreter}' -B '{path}'" if suffix == ".py" else
                           f"'{interpreter}' '{path}'", scratch, where, python_path)
    finally:
        os.remove(path)


def main():
    with open(os.path.join(SOURCE, "README.md")) as f:
        found = blocks(f.read())
    failures, notes = [], []
    ran = 0
    with tempfile.TemporaryDirectory() as scratch:
        for folder in ("examples", "doc"):
            shutil.copytree(os.path.join(SOURCE, folder), os.path.join(scratch, folder))
        os.mkdir(os.path.join(scratch, "build"))
        os.symlink(os.path.abspath(PROGRAM), os.path.join(scratch, "build", "propsmooth"))
        if REPORT:
            os.makedirs(os.path.join(scratch, os.path.dirname(REPORT_IN_BUILD)))
            os.symlink(os.path.abspath(REPORT), os.path.join(scratch, REPORT_IN_BUILD))

        output = None
        for index, (tag, text, line) in enumerate(found):
            where = f"README.md:{line}"
            if tag == "text":
                if output is not None and output.replace("\r\n", "\n") != text:
                    failures.append(f"{where}: the text differs from what the commands "
                                    f"print:\n--- printed\n{output}--- README\n{text}")
                output = None
                continue
            output = None
            if tag not in RUN_TAGS:
                continue
            if REPORT is None and "propsmooth-report" in text:
                # Its output text, if any, goes unchecked too.
                notes.append(f"{where}: propsmooth-report not built, block not run")
                continue
            try:
                if tag == "sh":
                    output = run_sh(text, scratch, where, notes)
                elif tag == "python":
                    python, python_path = python_for(text)
                    if python is None:
                        why = python_path or "pandas not installed"
                        notes.append(f"{where}: {why}, block not run")
                        continue
                    output = run_script(python, ".py", text, scratch, where, python_path)
                else:
                    rscript = shutil.which("Rscript")
                    if rscript is None:
                        notes.append(f"{where}: R not installed (Debian package "
                                     "r-base-core), block not run")
                        continue
                    lacking = r_lacks(rscript, text)
                    if lacking:
                        notes.append(f"{where}: R lacks {', '.join(lacking)}, block not run")
                        continue
                    output = run_script(rscript, ".R", text, scratch, where)
                ran += 1
            except AssertionError as error:
                failures.append(str(error))
    for note in notes:
        print("note:", note)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{ran} README blocks run")
    if ran == 0:
        failures.append("no block run")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
