"""Finding the compiled core ``varlo._varlo``.

It lies in the package's own folder once installed (``cmake --install``,
``pip install ./python``). A package used from the source tree
(``PYTHONPATH=python``) takes the one the build tree holds:
``build/python/varlo`` (``VARLO_BUILD_DIR`` names another build folder).
"""
from __future__ import annotations

import glob
import importlib
import importlib.machinery
import importlib.util
import os
import sys

from .errors import LibraryNotFoundError

_PACKAGE_DIR = os.path.dirname(os.path.abspath(__file__))


def _build_tree_module():
    source = os.path.dirname(os.path.dirname(_PACKAGE_DIR))
    if not os.path.isfile(os.path.join(source, "include", "Varlo.h")):
        return None
    folder = os.path.join(source, os.environ.get("VARLO_BUILD_DIR", "build"), "python", "varlo")
    for suffix in importlib.machinery.EXTENSION_SUFFIXES:
        found = glob.glob(os.path.join(folder, "_varlo" + suffix))
        if found:
            return found[0]
    return None


def load_core():
    """The module varlo._varlo; LibraryNotFoundError when it is neither
    installed nor built."""
    module = sys.modules.get("varlo._varlo")
    if module is not None:
        return module
    try:
        return importlib.import_module("varlo._varlo")
    except ImportError as error:
        installed_error = error
    path = _build_tree_module()
    if path is None:
        raise LibraryNotFoundError(
            "the compiled module varlo._varlo is missing (%s): build it with the project's CMake (it needs "
            "pybind11-dev and python3-dev), or install the package with `pip install ./python`" % installed_error)
    spec = importlib.util.spec_from_file_location("varlo._varlo", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    sys.modules["varlo._varlo"] = module
    return module
