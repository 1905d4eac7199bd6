"""Builds the barsight package: its extension barsight._core by CMake from
the project's own sources (the same ones the DLLs are built from), and the
signal table (scripts/signal_table.py) copied in as barsight._signal_table.
Offline: nothing is downloaded; pybind11 comes from the system
(Debian's pybind11-dev). Install with

    pip install --no-build-isolation ./python
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent


def version():
    for line in (ROOT / "CMakeLists.txt").read_text().splitlines():
        if line.startswith("project(Barsight VERSION "):
            return line.split()[2]
    raise RuntimeError("no project version in CMakeLists.txt")


class CMakeBuild(build_ext):
    """The extension as CMake builds it: only the _core target of the project."""

    def build_extension(self, ext):
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        subprocess.check_call([
            "cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
            "-DBARSIGHT_TESTS=OFF", "-DBARSIGHT_PYTHON=ON", "-DPYBIND11_FINDPYTHON=ON",
            "-DPython_EXECUTABLE=" + sys.executable, "-DPython3_EXECUTABLE=" + sys.executable,
            "-DBARSIGHT_PYTHON_OUTPUT=" + str(build / "module"),
        ])
        jobs = str(os.cpu_count() or 1)
        subprocess.check_call(["cmake", "--build", str(build), "--target", "_core", "-j", jobs])
        built = [p for p in (build / "module").iterdir() if p.name.startswith("_core.")]
        if len(built) != 1:
            raise RuntimeError("CMake made %s, not one _core module" % [p.name for p in built])
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


class BuildPy(build_py):
    """The package's modules, and the project's one signal table beside them."""

    def run(self):
        super().run()
        folder = Path(self.build_lib) / "barsight"
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(ROOT / "scripts" / "signal_table.py", folder / "_signal_table.py")


setup(
    name="barsight",
    version=version(),
    description="Volume spread analysis signals, indicators and their evaluation, as the Barsight plug-ins compute them",
    packages=["barsight"],
    python_requires=">=3.9",
    install_requires=["numpy", "pandas"],
    extras_require={"plot": ["matplotlib"]},
    ext_modules=[Extension("barsight._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild, "build_py": BuildPy},
    zip_safe=False,
)
