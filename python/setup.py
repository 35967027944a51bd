"""Builds the extension tarnvex._core by running CMake on the repository above this folder.

The engine is compiled from the repository's sources with the project's own flags
(bit-exact arithmetic: -ffp-contract=off, no fast-math), once, into the build folder of
setuptools; only the extension target and the libraries it links are built.
CMAKE_BUILD_PARALLEL_LEVEL limits the parallel jobs.
"""

from __future__ import annotations

import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

HERE = Path(__file__).resolve().parent
REPO = HERE.parent


class CMakeExtension(Extension):
    """An extension whose sources CMake builds."""

    def __init__(self, name: str) -> None:
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    """Configure the repository with TARNVEX_PYTHON=ON and build the extension target."""

    def build_extension(self, ext: Extension) -> None:
        if not (REPO / "CMakeLists.txt").is_file() or not (REPO / "src").is_dir():
            raise RuntimeError(f"the engine's sources are not at {REPO}: build the package "
                               "from python/ inside a checkout of the repository")
        cmake = shutil.which("cmake")
        if cmake is None:
            raise RuntimeError("cmake is missing: apt-get install cmake ninja-build g++ "
                               "pybind11-dev")
        build_dir = Path(self.build_temp).resolve() / "cmake"
        configure = [cmake, "-S", str(REPO), "-B", str(build_dir), "-DTARNVEX_PYTHON=ON",
                     f"-DPython_EXECUTABLE={sys.executable}"]
        if shutil.which("ninja") and not (build_dir / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        subprocess.run(configure, check=True)
        subprocess.run([cmake, "--build", str(build_dir), "--target", "tarnvex_python_core"],
                       check=True)
        built = sorted((build_dir / "python" / "tarnvex").glob("_core*.so"))
        if len(built) != 1:
            raise RuntimeError(f"expected one built module in {build_dir}, found {built}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(ext_modules=[CMakeExtension("tarnvex._core")], cmdclass={"build_ext": CMakeBuild})
