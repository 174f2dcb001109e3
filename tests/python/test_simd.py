"""PROPSMOOTH_SIMD caps the module's kernel as it caps the programs': read at
import, with the programs' refusal of a value they do not know."""

import os
import subprocess
import sys

import pytest

# Highway's names for the portable fallback, whichever the compiler gave.
_FALLBACK = {"EMU128", "SCALAR"}


def _python(code, simd):
    """Runs `code` in a fresh interpreter (the cap is read once, at import)
    with PROPSMOOTH_SIMD set to `simd`, or unset for None."""
    env = dict(os.environ)
    env.pop("PROPSMOOTH_SIMD", None)
    if simd is not None:
        env["PROPSMOOTH_SIMD"] = simd
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True)


_TARGETS = ("import propsmooth._core as c; "
            "print(c.simd_target()); print(' '.join(c.simd_targets()))")


@pytest.mark.parametrize("simd", [None, "", "auto", "scalar"])
def test_cap_chooses_the_target(simd):
    finished = _python(_TARGETS, simd)
    assert finished.returncode == 0, finished.stderr
    target, available = finished.stdout.splitlines()
    available = available.split()
    assert target == available[0]
    if simd == "scalar":
        assert available == [target] and target in _FALLBACK
    else:
        uncapped = _python(_TARGETS, None).stdout.splitlines()
        assert [target, " ".join(available)] == uncapped


@pytest.mark.parametrize("simd", ["fast", "AVX2", "avx2 ", "scalar,avx2"])
def test_unknown_value_fails_the_import_with_the_programs_words(simd, program, tmp_path):
    finished = _python("import propsmooth", simd)
    assert finished.returncode != 0
    # The program's refusal, "propsmooth: TEXT", on standard error.
    env = dict(os.environ, PROPSMOOTH_SIMD=simd)
    refused = subprocess.run([program, "data.txt", "out.tsv"], env=env, cwd=tmp_path,
                             capture_output=True, text=True)
    assert refused.returncode == 1
    text = refused.stderr.strip().removeprefix("propsmooth: ")
    assert text.startswith("PROPSMOOTH_SIMD=")
    assert finished.stderr.strip().splitlines()[-1] == f"ImportError: {text}"
