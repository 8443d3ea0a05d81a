"""orvik/cli/compression.py: a file compressed as its name's extension says, as
pandas reads and writes them: .gz, .bz2, .xz, .zst (with the zstandard
package) and .zip holding one file.

    kind = of("dates.csv.gz")                # "gzip"; None for a plain name
    stream = reader(open(path, "rb"), kind, "dates.csv.gz")  # the bytes it holds
    out = writer(handle, kind, "out.csv")    # compresses into handle; close() ends it

Neither a reader nor a writer closes the file it was given.
"""

from __future__ import annotations

import bz2
import gzip
import lzma
import os
import zipfile
import zlib
from typing import IO, Any

from orvik.cli.failure import Failure

#: The extensions and the compression each names.
SUFFIXES = {".gz": "gzip", ".bz2": "bz2", ".xz": "xz", ".zst": "zstd", ".zip": "zip"}

#: What a damaged or cut stream raises, whatever the compression.
ERRORS: tuple[type[BaseException], ...] = (OSError, EOFError, lzma.LZMAError, zlib.error,
                                           zipfile.BadZipFile)
try:
    import zstandard as _zstandard_module

    ERRORS += (_zstandard_module.ZstdError,)
except ImportError:  # .zst is refused, naming the package
    pass


def of(name: str | None) -> str | None:
    """The compression that `name`'s extension names, or None."""
    if name is None:
        return None
    return SUFFIXES.get(os.path.splitext(name)[1].lower())


def stripped(name: str) -> str:
    """`name` without the extension of its compression (dates.csv.gz -> dates.csv)."""
    return os.path.splitext(name)[0] if of(name) else name


def _zstandard(shown: str) -> Any:
    try:
        import zstandard
    except ImportError:
        raise Failure(f"{shown}: .zst needs the zstandard package: pip install zstandard") from None
    return zstandard


def reader(raw: IO[bytes], kind: str | None, shown: str) -> Any:
    """The decompressed bytes of `raw`."""
    if kind is None:
        return raw
    if kind == "gzip":
        return gzip.GzipFile(fileobj=raw, mode="rb")
    if kind == "bz2":
        return bz2.BZ2File(raw, "rb")
    if kind == "xz":
        return lzma.LZMAFile(raw, "rb")
    if kind == "zstd":
        zstandard = _zstandard(shown)
        return zstandard.ZstdDecompressor().stream_reader(raw, read_across_frames=True,
                                                          closefd=False)
    try:
        archive = zipfile.ZipFile(raw)
    except ERRORS as exc:
        raise Failure(f"cannot read {shown}: {exc}") from None
    files = [info for info in archive.infolist() if not info.is_dir()]
    if len(files) != 1:
        raise Failure(f"cannot read {shown}: a .zip must hold one file, and it holds "
                      f"{len(files)}{': ' + ', '.join(f.filename for f in files[:5]) if files else ''}")
    return archive.open(files[0])


def writer(raw: IO[bytes], kind: str | None, member: str) -> Any:
    """A stream whose bytes reach `raw` compressed; its close() ends the
    compressed stream and leaves `raw` open.  `member` names the file a .zip holds."""
    if kind is None:
        return raw
    if kind == "gzip":
        # The name it holds is the file's, not the hidden one's it is built in; no
        # time, so that one input gives the same bytes.
        return gzip.GzipFile(filename=member, fileobj=raw, mode="wb", mtime=0)
    if kind == "bz2":
        return bz2.BZ2File(raw, "wb")
    if kind == "xz":
        return lzma.LZMAFile(raw, "wb")
    if kind == "zstd":
        return _zstandard(member).ZstdCompressor().stream_writer(raw, closefd=False)
    return _ZipMember(raw, member)


class _ZipMember:
    """The one file of a .zip being written."""

    def __init__(self, raw: IO[bytes], member: str) -> None:
        self.archive = zipfile.ZipFile(raw, "w", compression=zipfile.ZIP_DEFLATED)
        self.file = self.archive.open(member, "w", force_zip64=True)

    def write(self, data: bytes) -> int:
        return self.file.write(data)

    def flush(self) -> None:
        pass  # the member is written when it is closed

    def close(self) -> None:
        self.file.close()
        self.archive.close()
