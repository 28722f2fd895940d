import shutil
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent))

import portrelay  # noqa: E402
from portrelay import _loader  # noqa: E402

REPOSITORY = HERE.parent.parent.parent
HEADER = REPOSITORY / "include" / "portrelay" / "portrelay.h"


@pytest.fixture(scope="session")
def lib():
    return portrelay.load()


@pytest.fixture
def fresh_lib(tmp_path):
    """A private copy of the library: its engine starts from its defaults,
    whatever other tests did to the shared one."""
    copy = tmp_path / _loader.library_file_name("portrelay")
    shutil.copy(portrelay.default_library().path, copy)
    return portrelay.Library(path=copy)


@pytest.fixture(scope="session")
def bin_dir():
    return Path(portrelay.default_library().path).parent
