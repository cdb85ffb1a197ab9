"""The wheel as a user gets it: built by pip offline from the source tree
(the in-tree backend runs CMake in Release in a temporary folder), checked
(tag, files, RECORD hashes, the libraries' RPATH and stripping), installed
with --no-index into fresh venvs of Debian's python3 and of any other CPython
3.9+ found, and used from another folder with no library path set.

    wheel_check.py SOURCE_DIR

Exits 77 (skipped) when the venv module or ensurepip is missing (Debian's
python3-venv).  Other interpreters to try: TAVOLIN2_WHEEL_PYTHONS (separated
by spaces); pyenv's versions are tried too where pyenv is installed.
"""

import base64
import csv
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import zipfile

SKIP = 77
DEBIAN_PYTHON = "/usr/bin/python3"

# Run inside each venv from an empty folder: the package must load both
# libraries from beside itself and do a GIF and a barcode.
USE = r"""
import os, sys, tavolin2, tavolin2._com as c
here = os.path.dirname(os.path.abspath(tavolin2.__file__))
for lib in (c.lib, c.kit):
    assert os.path.dirname(os.path.abspath(lib._name)) == here, (lib._name, here)
box = tavolin2.PictureBox(160, 120)
box.Line(6, 20, 20, 100, 80, 0xFF0000)
gif = tavolin2.Dispatch("TAVOLIN2.GIF")
gif.BestQuality = True
assert gif.SaveGIF(box.Image, "picture.gif")
with open("picture.gif", "rb") as f:
    assert f.read(4) == b"GIF8"
bars = tavolin2.PictureBox(260, 90)
tavolin2.Dispatch("TAVOLIN2.clsBCAT175").Barcode128Draw("WHEEL-1", bars, "WHEEL-1", iAlign=2, iBarHeight=40)
tavolin2.SavePicture(bars, "code128.png")
with open("code128.png", "rb") as f:
    assert f.read(8) == b"\x89PNG\r\n\x1a\n"
print("%d.%d" % sys.version_info[:2])
"""


def fail(message):
    print(f"wheel_check: {message}", file=sys.stderr)
    sys.exit(1)


def run(cmd, **kw):
    r = subprocess.run(cmd, capture_output=True, text=True, **kw)
    if r.returncode:
        fail(f"{' '.join(cmd)} failed ({r.returncode}):\n{r.stdout[-4000:]}\n{r.stderr[-4000:]}")
    return r.stdout


def make_venv(python, folder):
    """A venv with pip, or None (and why) when this Python cannot make one."""
    r = subprocess.run([python, "-m", "venv", folder], capture_output=True, text=True)
    if r.returncode or not os.path.exists(os.path.join(folder, "bin", "pip")):
        return None, (r.stderr.strip().splitlines() or ["no pip in the venv"])[-1]
    return folder, ""


def other_pythons():
    """CPython 3.9+ interpreters other than Debian's: the named ones, and the
    oldest of pyenv's."""
    found = os.environ.get("TAVOLIN2_WHEEL_PYTHONS", "").split()
    pyenv = shutil.which("pyenv")
    if pyenv:
        r = subprocess.run([pyenv, "root"], capture_output=True, text=True)
        versions = os.path.join(r.stdout.strip(), "versions")
        if r.returncode == 0 and os.path.isdir(versions):
            usable = []
            for v in os.listdir(versions):
                m = re.fullmatch(r"3\.(\d+)\.\d+", v)
                exe = os.path.join(versions, v, "bin", "python3")
                if m and int(m.group(1)) >= 9 and os.access(exe, os.X_OK):
                    usable.append((int(m.group(1)), exe))
            if usable:
                found.append(min(usable)[1])
    return [p for p in found if os.path.realpath(p) != os.path.realpath(DEBIAN_PYTHON)]


def project_version(source):
    with open(os.path.join(source, "CMakeLists.txt"), encoding="utf-8") as f:
        return re.search(r"project\(\s*tavolin2\s+VERSION\s+([0-9.]+)", f.read()).group(1)


def check_wheel(path, source):
    version = project_version(source)
    tag = "py3-none-" + re.sub(r"[-.]", "_", sysconfig.get_platform())
    if os.path.basename(path) != f"tavolin2-{version}-{tag}.whl":
        fail(f"wheel named {os.path.basename(path)}, not for version {version} and tag {tag}")
    info = f"tavolin2-{version}.dist-info"
    major = version.split(".")[0]
    libs = [f"tavolin2/libtavolin2.so.{major}", f"tavolin2/libtavolin2-kit.so.{major}"]
    sources = sorted(f"tavolin2/{n}" for n in os.listdir(os.path.join(source, "python", "tavolin2"))
                     if n.endswith(".py") and n != "_config.py")
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        expected = set(sources + libs + [f"{info}/{n}" for n in ("METADATA", "WHEEL", "top_level.txt", "RECORD")])
        if set(names) != expected:
            fail(f"wheel files differ: missing {sorted(expected - set(names))}, extra {sorted(set(names) - expected)}")
        record = {row[0]: row[1:] for row in csv.reader(io.StringIO(z.read(f"{info}/RECORD").decode()))}
        for name in names:
            if name == f"{info}/RECORD":
                continue
            data = z.read(name)
            digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
            if record.get(name) != [f"sha256={digest}", str(len(data))]:
                fail(f"RECORD has {record.get(name)} for {name}, which is sha256={digest} {len(data)}")
        wheel = z.read(f"{info}/WHEEL").decode()
        if f"Tag: {tag}" not in wheel.splitlines() or "Root-Is-Purelib: false" not in wheel.splitlines():
            fail(f"WHEEL says:\n{wheel}")
        metadata = z.read(f"{info}/METADATA").decode().splitlines()
        for line in ("Name: tavolin2", f"Version: {version}", "Requires-Python: >=3.9"):
            if line not in metadata:
                fail(f"METADATA lacks {line!r}")
        for name in sources:
            with open(os.path.join(source, "python", name), "rb") as f:
                if z.read(name) != f.read():
                    fail(f"{name} in the wheel is not the source's")
        for name in libs:
            if (z.getinfo(name).external_attr >> 16) & 0o111 == 0:
                fail(f"{name} is not executable in the wheel")
        readelf = shutil.which("readelf")
        if not readelf:
            print("wheel_check: no readelf; the libraries' RPATH and stripping not checked")
            return
        with tempfile.TemporaryDirectory() as t:
            for name in libs:
                lib = z.extract(name, t)
                dynamic = run([readelf, "-d", lib])
                if not re.search(r"\((RUNPATH|RPATH)\)\s+Library r(un)?path: \[\$ORIGIN\]", dynamic):
                    fail(f"{name} has no RPATH $ORIGIN:\n{dynamic}")
                if re.search(r"\]\s+\.(symtab|debug_info)\s", run([readelf, "-S", "-W", lib])):
                    fail(f"{name} is not stripped")
            if f"[libtavolin2.so.{major}]" not in run([readelf, "-d", os.path.join(t, libs[1])]):
                fail(f"the kit does not need libtavolin2.so.{major} by its soname")


def main():
    if len(sys.argv) != 2:
        fail("usage: wheel_check.py SOURCE_DIR")
    source = os.path.abspath(sys.argv[1])
    if not os.access(DEBIAN_PYTHON, os.X_OK):
        print(f"wheel_check: skipped: no {DEBIAN_PYTHON}")
        return SKIP
    work = tempfile.mkdtemp(prefix="tavolin2-wheel-")
    try:
        builder, why = make_venv(DEBIAN_PYTHON, os.path.join(work, "venv-debian"))
        if not builder:
            print(f"wheel_check: skipped: {DEBIAN_PYTHON} makes no venv with pip ({why}); "
                  "install python3-venv (scripts/deps.sh)")
            return SKIP
        # pip of a fresh venv, no index: the build may need nothing from one.
        env = dict(os.environ, TAVOLIN2_WHEEL_BUILD_DIR=os.path.join(work, "build"), PIP_NO_INDEX="1",
                   PIP_DISABLE_PIP_VERSION_CHECK="1", PIP_NO_CACHE_DIR="1")
        run([os.path.join(builder, "bin", "pip"), "wheel", "--no-index", "--no-deps", "-w",
             os.path.join(work, "wheels"), source], env=env)
        wheels = os.listdir(os.path.join(work, "wheels"))
        if len(wheels) != 1:
            fail(f"pip wheel made {wheels}")
        wheel = os.path.join(work, "wheels", wheels[0])
        check_wheel(wheel, source)
        print(f"wheel_check: {wheels[0]}: {os.path.getsize(wheel) // 1024} KiB")

        # Used with no help from the environment: no library or package path.
        clean = {k: v for k, v in os.environ.items()
                 if k not in ("TAVOLIN2_LIBRARY", "TAVOLIN2_KIT_LIBRARY", "LD_LIBRARY_PATH", "PYTHONPATH",
                              "PYTHONHOME")}
        clean.update(PIP_DISABLE_PIP_VERSION_CHECK="1", PYTHONDONTWRITEBYTECODE="1",
                     XDG_DATA_HOME=os.path.join(work, "xdg"))
        venvs = [("Debian's python3", builder)]
        for i, python in enumerate(other_pythons()):
            venv, why = make_venv(python, os.path.join(work, f"venv-{i}"))
            if venv:
                venvs.append((python, venv))
            else:
                print(f"wheel_check: {python} makes no venv ({why}); not tried")
        for label, venv in venvs:
            run([os.path.join(venv, "bin", "pip"), "install", "--no-index", "--no-deps", wheel], env=clean)
            folder = tempfile.mkdtemp(dir=work)
            out = run([os.path.join(venv, "bin", "python"), "-c", USE], cwd=folder, env=clean).strip()
            print(f"wheel_check: installed and used in a venv of {label} (Python {out})")
        print("wheel_check: ok")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
