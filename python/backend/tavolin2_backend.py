"""The build backend of the tavolin2 Python package (the PEP 517 hooks pip
calls), in plain Python so that `pip install .` needs nothing from a package
index.

build_wheel configures the project with CMake in Release, builds the two
shared libraries (tavolin2 and tavolin2-kit) with the RPATH $ORIGIN, so the kit
finds the library beside it, strips them, and writes a wheel that carries
python/tavolin2/*.py with both libraries next to __init__.py.  The package is
ctypes over the libraries' C entry points and has no extension module, so the
wheel is tagged py3-none-<platform>: any CPython 3.9 or later on the platform
installs it.

The build folder is build-wheel/ in the source tree (kept, so a second build is
incremental), or the one named by the environment variable
TAVOLIN2_WHEEL_BUILD_DIR or by `--config-settings build-dir=DIR`.  CMake's
parallel level comes from CMAKE_BUILD_PARALLEL_LEVEL, else the processor count.
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
import tarfile
import time
import zipfile

NAME = "tavolin2"
SUMMARY = "COM-shaped imaging, barcode, media and vendor-text objects for Linux, from Python through ctypes"
REQUIRES_PYTHON = ">=3.9"
LIBRARIES = ("tavolin2", "tavolin2-kit")

_ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _version():
    """The project's version, as written once in CMakeLists.txt."""
    with open(os.path.join(_ROOT, "CMakeLists.txt"), encoding="utf-8") as f:
        m = re.search(r"project\(\s*tavolin2\s+VERSION\s+([0-9.]+)", f.read())
    if not m:
        raise RuntimeError("CMakeLists.txt names no project version")
    return m.group(1)


def _tag():
    """py3-none-<platform>: the platform from sysconfig (linux_x86_64 ...)."""
    return "py3-none-" + re.sub(r"[-.]", "_", sysconfig.get_platform())


def _dist_info_name():
    return f"{NAME}-{_version()}.dist-info"


def _metadata():
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {NAME}",
        f"Version: {_version()}",
        f"Summary: {SUMMARY}",
        f"Requires-Python: {REQUIRES_PYTHON}",
        "Classifier: Operating System :: POSIX :: Linux",
        "Classifier: Programming Language :: Python :: 3",
        "Description-Content-Type: text/plain",
        "",
        SUMMARY + ".",
        "",
        "The wheel carries libtavolin2.so and libtavolin2-kit.so next to the package;",
        "`import tavolin2` loads them from there.",
        "",
    ]
    return "\n".join(lines)


def _wheel_file():
    return "\n".join(["Wheel-Version: 1.0", f"Generator: {NAME}_backend {_version()}", "Root-Is-Purelib: false",
                      f"Tag: {_tag()}", ""])


def _metadata_files():
    """The dist-info files other than RECORD: name -> bytes."""
    return {"METADATA": _metadata().encode(), "WHEEL": _wheel_file().encode(), "top_level.txt": f"{NAME}\n".encode()}


def _setting(config_settings, key, env):
    value = (config_settings or {}).get(key)
    if isinstance(value, list):
        value = value[-1] if value else None
    return value or os.environ.get(env) or None


def _run(cmd, **kw):
    print("+ " + " ".join(cmd), file=sys.stderr, flush=True)
    subprocess.run(cmd, check=True, **kw)


def _build_libraries(build_dir):
    """Configures and builds the two libraries in Release; returns the paths
    of the built files, by their sonames."""
    cmake = shutil.which("cmake")
    if not cmake:
        raise RuntimeError("building the tavolin2 wheel needs cmake (Debian package cmake)")
    os.makedirs(build_dir, exist_ok=True)
    # The libraries are built with the RPATH they are installed with
    # ($ORIGIN): the kit needs libtavolin2.so.N, which lies beside it.
    _run([cmake, "-S", _ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release", "-DTAVOLIN2_TESTS=OFF",
          "-DTAVOLIN2_BENCH=OFF", "-DTAVOLIN2_FUZZ=OFF", "-DTAVOLIN2_SANITIZE=OFF", "-DTAVOLIN2_TSAN=OFF",
          "-DCMAKE_INSTALL_RPATH=$ORIGIN", "-DCMAKE_BUILD_WITH_INSTALL_RPATH=ON"], stdout=sys.stderr)
    jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
    _run([cmake, "--build", build_dir, "--parallel", jobs, "--target", *LIBRARIES], stdout=sys.stderr)
    major = _version().split(".")[0]
    found = {}
    for lib in LIBRARIES:
        soname = f"lib{lib}.so.{major}"
        path = os.path.join(build_dir, soname)
        if not os.path.exists(path):
            raise RuntimeError(f"the build made no {soname} in {build_dir}")
        found[soname] = os.path.realpath(path)
    return found


def _strip(build_dir):
    """The strip program CMake found (its cache), else strip on PATH."""
    try:
        with open(os.path.join(build_dir, "CMakeCache.txt"), encoding="utf-8") as f:
            m = re.search(r"^CMAKE_STRIP:FILEPATH=(.+)$", f.read(), re.M)
        if m and os.path.exists(m.group(1)):
            return m.group(1)
    except OSError:
        pass
    return shutil.which("strip")


def _stripped_copy(src, dest_dir, name, strip):
    dest = os.path.join(dest_dir, name)
    shutil.copyfile(src, dest)
    if strip:
        _run([strip, "--strip-unneeded", dest])
    else:
        print(f"tavolin2 wheel: no strip program; {name} is not stripped", file=sys.stderr)
    return dest


def _record_line(arcname, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return [arcname, f"sha256={digest}", str(len(data))]


def _zip_time():
    """SOURCE_DATE_EPOCH when set (reproducible wheels), else now."""
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    t = time.gmtime(int(epoch)) if epoch else time.localtime()
    return max(t[:6], (1980, 1, 1, 0, 0, 0))


def _write_wheel(path, files):
    """files: (arcname, bytes, executable) in order; RECORD is added last."""
    when = _zip_time()
    rows = []
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for arcname, data, executable in files:
            info = zipfile.ZipInfo(arcname, when)
            info.external_attr = (0o100755 if executable else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data)
            rows.append(_record_line(arcname, data))
        record = f"{_dist_info_name()}/RECORD"
        rows.append([record, "", ""])
        out = io.StringIO()
        csv.writer(out, lineterminator="\n").writerows(rows)
        info = zipfile.ZipInfo(record, when)
        info.external_attr = 0o100644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, out.getvalue())


def _package_sources():
    folder = os.path.join(_ROOT, "python", NAME)
    names = sorted(n for n in os.listdir(folder) if n.endswith(".py") and n != "_config.py")
    return [(f"{NAME}/{n}", os.path.join(folder, n)) for n in names]


# --- PEP 517 hooks -----------------------------------------------------------

def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    folder = os.path.join(metadata_directory, _dist_info_name())
    os.makedirs(folder, exist_ok=True)
    for name, data in _metadata_files().items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    return _dist_info_name()


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    build_dir = _setting(config_settings, "build-dir", "TAVOLIN2_WHEEL_BUILD_DIR") or os.path.join(_ROOT, "build-wheel")
    build_dir = os.path.abspath(build_dir)
    built = _build_libraries(build_dir)
    stage = os.path.join(build_dir, "wheel-stage")
    shutil.rmtree(stage, ignore_errors=True)
    os.makedirs(stage)
    strip = _strip(build_dir)
    files = []
    for arcname, src in _package_sources():
        with open(src, "rb") as f:
            files.append((arcname, f.read(), False))
    for soname, src in built.items():
        with open(_stripped_copy(src, stage, soname, strip), "rb") as f:
            files.append((f"{NAME}/{soname}", f.read(), True))
    for name, data in _metadata_files().items():
        files.append((f"{_dist_info_name()}/{name}", data, False))
    wheel_name = f"{NAME}-{_version()}-{_tag()}.whl"
    os.makedirs(wheel_directory, exist_ok=True)
    _write_wheel(os.path.join(wheel_directory, wheel_name), files)
    shutil.rmtree(stage, ignore_errors=True)
    return wheel_name


def _sdist_files():
    """The files git tracks, else the tree without build folders."""
    try:
        out = subprocess.run(["git", "-C", _ROOT, "ls-files", "-z"], check=True, capture_output=True).stdout
        names = [n for n in out.decode().split("\0") if n]
        if names:
            return sorted(n for n in names if os.path.isfile(os.path.join(_ROOT, n)))
    except (OSError, subprocess.CalledProcessError):
        pass
    names = []
    for top, dirs, files in os.walk(_ROOT):
        rel = os.path.relpath(top, _ROOT)
        dirs[:] = [d for d in dirs if not (rel == "." and (d.startswith("build") or d.startswith(".")))
                   and d != "__pycache__"]
        names += [os.path.normpath(os.path.join(rel, f)) for f in files]
    return sorted(names)


def build_sdist(sdist_directory, config_settings=None):
    base = f"{NAME}-{_version()}"
    name = f"{base}.tar.gz"
    os.makedirs(sdist_directory, exist_ok=True)
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz", format=tarfile.PAX_FORMAT) as tar:
        for rel in _sdist_files():
            tar.add(os.path.join(_ROOT, rel), arcname=f"{base}/{rel}", recursive=False)
        data = _metadata().encode()
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        info.size, info.mtime, info.mode = len(data), int(time.time()), 0o644
        tar.addfile(info, io.BytesIO(data))
    return name
