# SPDX-License-Identifier: MIT
"""A build backend (PEP 517, and PEP 660 for editable installs) written with
the standard library alone, so that installing trackmeter_table needs no
download: the wheel is trackmeter_table.py and its metadata, zipped.

The name, summary, Python version, readme and licence come from
pyproject.toml; the version from __version__ in trackmeter_table.py. The
readme is the long description, and LICENSE goes into the .dist-info folder.
"""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile
from typing import Dict, List, Optional, Tuple

HERE = os.path.dirname(os.path.abspath(__file__))
MODULE = "trackmeter_table.py"
LICENSE = "LICENSE"
_EPOCH = (1980, 1, 1, 0, 0, 0)  # fixed times: the same sources give the same wheel


def _read(name: str) -> str:
    """The text of a file beside this one."""
    with open(os.path.join(HERE, name), encoding="utf-8") as f:
        return f.read()


def _project() -> Dict[str, str]:
    """name, description, requires-python, readme and license of
    pyproject.toml, and the version."""
    text = _read("pyproject.toml")
    fields = dict(re.findall(r'^(name|description|requires-python|readme) = "([^"]*)"$',
                             text, re.M))
    fields["license"] = re.search(r'^license = \{ text = "([^"]*)" \}$', text, re.M).group(1)
    fields["version"] = re.search(r'^__version__ = "([^"]+)"$', _read(MODULE), re.M).group(1)
    return fields


def _dist_info() -> Tuple[str, str]:
    """The wheel's base name (name-version) and its .dist-info folder."""
    p = _project()
    base = f"{re.sub(r'[-_.]+', '_', p['name']).lower()}-{p['version']}"
    return base, f"{base}.dist-info"


def _metadata_files() -> List[Tuple[str, bytes]]:
    """METADATA, WHEEL and LICENSE, as (path in the wheel, bytes)."""
    p = _project()
    _, info = _dist_info()
    metadata = (f"Metadata-Version: 2.1\nName: {p['name']}\nVersion: {p['version']}\n"
                f"Summary: {p['description']}\nLicense: {p['license']}\n"
                f"Requires-Python: {p['requires-python']}\n"
                f"Description-Content-Type: text/markdown\n\n{_read(p['readme'])}")
    wheel = ("Wheel-Version: 1.0\nGenerator: trackmeter_build\n"
             "Root-Is-Purelib: true\nTag: py3-none-any\n")
    return [(f"{info}/METADATA", metadata.encode()), (f"{info}/WHEEL", wheel.encode()),
            (f"{info}/{LICENSE}", _read(LICENSE).encode())]


def _write_wheel(directory: str, files: List[Tuple[str, bytes]]) -> str:
    """Zips files and their RECORD into a wheel in directory; its file name."""
    base, info = _dist_info()
    files = files + _metadata_files()
    record = ""
    for path, data in files:
        digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
        record += f"{path},sha256={digest.decode()},{len(data)}\n"
    files.append((f"{info}/RECORD", (record + f"{info}/RECORD,,\n").encode()))
    name = f"{base}-py3-none-any.whl"
    with zipfile.ZipFile(os.path.join(directory, name), "w", zipfile.ZIP_DEFLATED) as whl:
        for path, data in files:
            entry = zipfile.ZipInfo(path, _EPOCH)
            entry.external_attr = 0o644 << 16
            whl.writestr(entry, data, zipfile.ZIP_DEFLATED)
    return name


def get_requires_for_build_wheel(config_settings: Optional[dict] = None) -> List[str]:
    """Nothing is needed to build a wheel."""
    return []


def get_requires_for_build_sdist(config_settings: Optional[dict] = None) -> List[str]:
    """Nothing is needed to build a source archive."""
    return []


def get_requires_for_build_editable(config_settings: Optional[dict] = None) -> List[str]:
    """Nothing is needed for an editable install."""
    return []


def prepare_metadata_for_build_wheel(metadata_directory: str,
                                     config_settings: Optional[dict] = None) -> str:
    """Writes the .dist-info folder into metadata_directory; its name."""
    _, info = _dist_info()
    for path, data in _metadata_files():
        os.makedirs(os.path.join(metadata_directory, os.path.dirname(path)), exist_ok=True)
        with open(os.path.join(metadata_directory, path), "wb") as f:
            f.write(data)
    return info


prepare_metadata_for_build_editable = prepare_metadata_for_build_wheel


def build_wheel(wheel_directory: str, config_settings: Optional[dict] = None,
                metadata_directory: Optional[str] = None) -> str:
    """A wheel holding trackmeter_table.py; its file name."""
    return _write_wheel(wheel_directory, [(MODULE, _read(MODULE).encode())])


def build_editable(wheel_directory: str, config_settings: Optional[dict] = None,
                   metadata_directory: Optional[str] = None) -> str:
    """A wheel whose .pth file puts this folder on sys.path; its file name."""
    return _write_wheel(wheel_directory, [("trackmeter_table.pth", (HERE + "\n").encode())])


def build_sdist(sdist_directory: str, config_settings: Optional[dict] = None) -> str:
    """A .tar.gz of what the wheel is built from; its file name."""
    base, _ = _dist_info()
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz") as tar:
        pkg_info = _metadata_files()[0][1]
        for path, data in [("PKG-INFO", pkg_info)] + [
                (f, _read(f).encode())
                for f in ("pyproject.toml", "trackmeter_build.py", MODULE, "README.md", LICENSE)]:
            entry = tarfile.TarInfo(f"{base}/{path}")
            entry.size, entry.mode = len(data), 0o644
            tar.addfile(entry, io.BytesIO(data))
    return name
