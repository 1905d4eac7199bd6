"""Builds the barsight package: its extension barsight._core by CMake from
the project's own C++ sources (the same ones the DLLs are built from), the
signal table (generators/signal_table.py) copied in as barsight._signal_table
and the version as barsight._version. Offline: nothing is downloaded;
pybind11 comes from the system (Debian's pybind11-dev). Install with

    pip install --no-build-isolation ./python

The C++ sources are the project's tree around python/, or, in an sdist
(python setup.py sdist), the copy of them packed into it (cpp/): an sdist
builds from its own files. The compiler's warnings stay warnings here (the
project's own builds make them errors).
"""
import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext
from setuptools.command.build_py import build_py
from setuptools.command.sdist import sdist

HERE = Path(__file__).resolve().parent
PACKED = HERE / "cpp"
ROOT = PACKED if (PACKED / "CMakeLists.txt").is_file() else HERE.parent
# What of the project's tree CMake reads to configure it and build the
# extension: what an sdist packs into cpp/.
SOURCES = ["CMakeLists.txt", "cmake", "generators", "msx", "standin", "platform", "services", "helpwindow",
           "indicator", "plugin", "engine", "loader", "harness", "evaluation", "tools", "kit",
           "python/CMakeLists.txt", "python/src"]


def version():
    top = ROOT / "CMakeLists.txt"
    if not top.is_file():
        raise RuntimeError("barsight: no C++ sources at %s: build from the project's tree or from an sdist of it"
                           % ROOT)
    for line in top.read_text().splitlines():
        if line.startswith("project(Barsight VERSION "):
            return line.split()[2]
    raise RuntimeError("no project version in %s" % top)


class CMakeBuild(build_ext):
    """The extension as CMake builds it: only the _core target of the project."""

    def build_extension(self, ext):
        target = Path(self.get_ext_fullpath(ext.name)).resolve()
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        subprocess.check_call([
            "cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
            "-DBARSIGHT_TESTS=OFF", "-DBARSIGHT_WERROR=OFF", "-DBARSIGHT_PYTHON=ON", "-DPYBIND11_FINDPYTHON=ON",
            "-DPython_EXECUTABLE=" + sys.executable, "-DPython3_EXECUTABLE=" + sys.executable,
            "-DBARSIGHT_PYTHON_OUTPUT=" + str(build / "module"),
        ])
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL") or str(os.cpu_count() or 1)
        subprocess.check_call(["cmake", "--build", str(build), "--target", "_core", "-j", jobs])
        built = [p for p in (build / "module").iterdir() if p.name.startswith("_core.")]
        if len(built) != 1:
            raise RuntimeError("CMake made %s, not one _core module" % [p.name for p in built])
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


class BuildPy(build_py):
    """The package's modules, the project's one signal table and the
    version beside them."""

    def run(self):
        super().run()
        folder = Path(self.build_lib) / "barsight"
        folder.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(ROOT / "generators" / "signal_table.py", folder / "_signal_table.py")
        (folder / "_version.py").write_text('"""The package\'s version (the project\'s)."""\n__version__ = "%s"\n'
                                            % version())


class Sdist(sdist):
    """The package's files and, in cpp/, the C++ sources the extension is
    built from (generators/ and the CMake files included)."""

    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, files)
        into = Path(base_dir) / "cpp"
        skip = shutil.ignore_patterns("__pycache__", "*.pyc", "build")
        for name in SOURCES:
            source = ROOT / name
            if source.is_dir():
                shutil.copytree(source, into / name, ignore=skip)
            else:
                (into / name).parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(source, into / name)


setup(
    name="barsight",
    version=version(),
    description="Volume spread analysis signals, indicators and their evaluation, as the Barsight plug-ins compute them",
    long_description=(HERE / "README.md").read_text(),
    long_description_content_type="text/markdown",
    packages=["barsight"],
    package_data={"barsight": ["py.typed", "*.pyi"]},
    python_requires=">=3.9",
    install_requires=["numpy", "pandas"],
    extras_require={"plot": ["matplotlib"]},
    ext_modules=[Extension("barsight._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild, "build_py": BuildPy, "sdist": Sdist},
    zip_safe=False,
)
