"""Finding and loading the native libraries (libportrelay.so / portrelay.dll and
the filter lab's libportrelay_lab.so / portrelay_lab.dll)."""

import ctypes
import os
import sys
from pathlib import Path

_PACKAGE_DIR = Path(__file__).resolve().parent
# bindings/python/portrelay -> repository root
_REPOSITORY_DIR = _PACKAGE_DIR.parent.parent.parent


def library_file_name(stem):
    """File name of the shared library `stem` on this platform."""
    if sys.platform.startswith("win"):
        return stem + ".dll"
    if sys.platform == "darwin":
        return "lib" + stem + ".dylib"
    return "lib" + stem + ".so"


def candidate_paths(stem, path=None, folder=None):
    """Where the library `stem` is looked for, in order: an explicit file, an
    explicit folder, the file named by PORTRELAY_LIB (for the engine library)
    or the folder named by PORTRELAY_LIB_DIR, the package's own folder (where
    `pip install` puts a library copied beside the package), and, when the
    package runs from a checkout of the repository, its native build
    (build/native/bin)."""
    name = library_file_name(stem)
    if path is not None:
        return [Path(path)]
    if folder is not None:
        return [Path(folder) / name]
    found = []
    if stem == "portrelay" and os.environ.get("PORTRELAY_LIB"):
        found.append(Path(os.environ["PORTRELAY_LIB"]))
    env = os.environ.get("PORTRELAY_LIB_DIR")
    if env:
        found.append(Path(env) / name)
    found.append(_PACKAGE_DIR / name)
    if (_REPOSITORY_DIR / "include" / "portrelay" / "portrelay.h").is_file():
        found.append(_REPOSITORY_DIR / "build" / "native" / "bin" / name)
    return found


def load_library(stem, path=None, folder=None):
    """Loads the shared library `stem` from the first candidate path that
    exists. Raises OSError naming every place looked at when none does."""
    tried = candidate_paths(stem, path, folder)
    for candidate in tried:
        if candidate.is_file():
            return ctypes.CDLL(str(candidate)), candidate
    raise OSError("cannot find %s; looked at: %s (set PORTRELAY_LIB_DIR to its folder, copy it beside the package before pip install, or pass path= or folder=)"
                  % (library_file_name(stem), ", ".join(str(p) for p in tried)))
