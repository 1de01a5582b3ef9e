"""Builds the package with its compiled core for `pip install ./python`.

The core (varlo._varlo) and libVarlo are built with the project's CMake from
the source tree this folder belongs to (the library alone: no tests, tools or
simulator), and both go into the package's folder, where the module finds the
library. It needs a C++17 compiler, CMake, Qt 5 (Core, Network, Serial Port),
Python's headers and pybind11 (Debian: g++ cmake qtbase5-dev
libqt5serialport5-dev python3-dev pybind11-dev).
"""
import glob
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class CMakeBuild(build_ext):
    """Builds varlo._varlo and libVarlo with CMake and puts them side by side."""

    def build_extension(self, extension):
        build = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        package = os.path.dirname(os.path.abspath(self.get_ext_fullpath(extension.name)))
        configure = ["cmake", "-S", SOURCE, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-DVARLO_PYTHON=" + sys.executable,
                     "-DVARLO_PYTHON_BESIDE_LIBRARY=ON", "-DVARLO_BUILD_TESTS=OFF", "-DVARLO_BUILD_BENCH=OFF",
                     "-DVARLO_BUILD_SIM=OFF", "-DVARLO_BUILD_TOOLS=OFF"]
        try:
            import pybind11  # a pybind11 from pip brings its CMake package
            configure.append("-Dpybind11_DIR=" + pybind11.get_cmake_dir())
        except ImportError:
            pass  # the system's (Debian's pybind11-dev)
        subprocess.check_call(configure)
        subprocess.check_call(["cmake", "--build", build, "--target", "_varlo", "--parallel", str(os.cpu_count() or 2)])
        os.makedirs(package, exist_ok=True)
        for built in glob.glob(os.path.join(build, "python", "varlo", "_varlo*")):
            shutil.copy2(built, package)
        # The library under its run-time name (libVarlo.so.1), the link followed.
        for library in glob.glob(os.path.join(build, "libVarlo.so.[0-9]")) + glob.glob(os.path.join(build, "Varlo.dll")):
            shutil.copy2(os.path.realpath(library), os.path.join(package, os.path.basename(library)))


setup(ext_modules=[Extension("varlo._varlo", sources=[])], cmdclass={"build_ext": CMakeBuild})
