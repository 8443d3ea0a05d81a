"""orvik/cli/destination.py: where the result goes, whole or not at all.

    destination = Destination("out.csv", "out.csv", source=input_stat)  # checked now
    with destination.open() as sink:     # a binary file to build the result in
        sink.write(b"...")
    # leaving the block: the result is in place; an exception: nothing is left

What the user named decides how the result gets there:

- a new name, or an existing regular file (a symlink is followed to its
  target): the result is built in a hidden file beside the target and renamed
  over it at the end; a new file gets the mode the umask gives, a replaced one
  keeps its mode;
- standard output, a character device (``/dev/null``, a terminal) or a FIFO:
  the result is built in an unnamed temporary file and copied out at the end;
  the device or FIFO itself is written in place, never replaced;
- a directory, a block device or a socket is refused, and so is the input.

SIGINT and SIGTERM are held while the hidden file is made and
registered for removal, while it is renamed, and while the result is copied
out: no signal leaves the hidden file behind, and one that arrives during the
copy takes effect when the copy is complete (a reader that stops reading keeps
orvik waiting; closing the pipe ends it).  Only SIGKILL or a crash of the
machine can leave a ``.orvik-*`` file.  Every failure names the output as the
user gave it.
"""

from __future__ import annotations

import contextlib
import os
import shutil
import signal
import stat
import sys
import tempfile
import threading
from collections.abc import Iterator
from contextlib import contextmanager
from typing import IO

from orvik.cli.failure import Failure, Terminated

# The signals that would end the process between two steps that belong together.
HELD = {signal.SIGINT, signal.SIGTERM}
COPY_BUFFER = 1 << 20  # bytes per read and write of the final copy


@contextmanager
def held_signals() -> Iterator[None]:
    """SIGINT and SIGTERM wait until the block is over, then take effect.

    Their handlers are replaced for the block by one that notes the signal: a
    Python handler runs in the main thread between two steps, whichever thread
    the signal was delivered to, so blocking the signal in this thread alone
    (pthread_sigmask) would not hold it while other threads run.  Call from the
    main thread."""
    if threading.current_thread() is not threading.main_thread():
        yield  # only the main thread may set handlers, and only it gets them
        return
    caught: list[int] = []
    previous = {held: signal.signal(held, lambda signum, frame: caught.append(signum))
                for held in HELD}
    try:
        yield
    finally:
        for held, handler in previous.items():
            signal.signal(held, handler)
        if caught:
            handler = previous[caught[0]]
            if callable(handler):
                handler(caught[0], None)   # raises KeyboardInterrupt, or Terminated
            elif handler == signal.SIG_DFL:
                signal.raise_signal(caught[0])


class Sink:
    """The file the result is built in; a failing write names the output."""

    def __init__(self, handle: IO[bytes], shown: str) -> None:
        self.handle, self.shown = handle, shown
        self.closed = False

    def write(self, data: bytes) -> int:
        try:
            return self.handle.write(data)
        except OSError as exc:
            raise Failure(f"cannot write {self.shown}: {exc.strerror or exc}") from None

    def tell(self) -> int:
        return self.handle.tell()

    def flush(self) -> None:
        try:
            self.handle.flush()
        except OSError as exc:
            raise Failure(f"cannot write {self.shown}: {exc.strerror or exc}") from None

    def writable(self) -> bool:
        return True

    def close(self) -> None:  # the destination closes the file itself
        self.flush()
        self.closed = True


class Destination:
    """The output the user named (`path`, None for standard output), checked
    before any work; `shown` is how messages name it."""

    def __init__(self, path: str | None, shown: str, source: os.stat_result | None) -> None:
        self.shown = shown
        self.target: str | None = None   # the file renamed over, or written in place
        self.in_place = path is None     # built apart and copied out
        self.mode = 0
        if path is None:
            if sys.stdout is None:
                raise Failure("standard output is closed")
            return
        if path == "":
            raise Failure("--output needs a name (or - for standard output)")
        try:
            st = os.stat(path)  # what the name leads to, through any symlink
        except FileNotFoundError:
            self.target = os.path.realpath(path)  # a dangling symlink: its target
            if not os.path.isdir(os.path.dirname(self.target)):
                raise Failure(f"--output {shown}: no such directory") from None
            self.mode = 0o666 & ~current_umask()
            return
        except OSError as exc:
            raise Failure(f"--output {shown}: {exc.strerror or exc}") from None
        if stat.S_ISDIR(st.st_mode):
            raise Failure(f"--output {shown}: is a directory")
        if stat.S_ISREG(st.st_mode):
            if source is not None and (source.st_dev, source.st_ino) == (st.st_dev, st.st_ino):
                raise Failure(f"--output {shown} is the input file: choose another output")
            self.target = os.path.realpath(path)  # a symlink's target is replaced
            self.mode = stat.S_IMODE(st.st_mode)
        elif stat.S_ISCHR(st.st_mode) or stat.S_ISFIFO(st.st_mode):
            self.target, self.in_place = path, True  # opened by its name: /dev/stdout too
        else:
            raise Failure(f"--output {shown}: is neither a file, a character device nor a "
                          f"FIFO")

    @contextmanager
    def open(self) -> Iterator[Sink]:
        """A Sink to build the result in; the result reaches the output when
        the block ends without an exception, and nothing remains otherwise."""
        handle: IO[bytes] | None = None
        hidden: list[str] = []  # the hidden file's name while it exists
        try:
            with self._naming_failures(), held_signals():
                handle = self._make(hidden)
            sink = Sink(handle, self.shown)
            yield sink
            sink.flush()
            with self._naming_failures():
                if self.in_place:
                    self._copy_out(handle)
                else:
                    with held_signals():
                        os.replace(hidden[0], self.target)  # type: ignore[arg-type]
                        hidden.clear()
        finally:
            # A second signal can come before the handlers are held: clean up
            # again, then let it take effect.
            later: BaseException | None = None
            while True:
                try:
                    with held_signals():
                        if handle is not None:
                            handle.close()
                        while hidden:
                            with contextlib.suppress(FileNotFoundError):
                                os.unlink(hidden[0])
                            hidden.pop()
                    break
                except (KeyboardInterrupt, Terminated) as exc:
                    later = exc
            if later is not None:
                raise later

    @contextmanager
    def _naming_failures(self) -> Iterator[None]:
        """An OSError of the destination's own steps, as a Failure naming the
        output (a closed pipe stays what it is: the reader went away)."""
        try:
            yield
        except BrokenPipeError:
            raise
        except OSError as exc:
            raise Failure(f"cannot write {self.shown}: {exc.strerror or exc}") from None

    def _make(self, hidden: list[str]) -> IO[bytes]:
        """The file to build in (signals held): unnamed, or hidden beside the
        target and named in `hidden` at once."""
        if self.in_place:
            return tempfile.TemporaryFile()
        fd, name = tempfile.mkstemp(prefix=".orvik-", dir=os.path.dirname(self.target))
        hidden.append(name)
        os.fchmod(fd, self.mode)
        return os.fdopen(fd, "w+b")

    def _copy_out(self, handle: IO[bytes]) -> None:
        """Copies the result to standard output, the device or the FIFO,
        whole: signals wait until the copy is done."""
        if self.target is None:
            out = sys.stdout.buffer
            out.flush()
        else:
            # Opened before signals are held: a FIFO waits here for a reader.  Never
            # created: if the device or FIFO went away, nothing takes its place.
            out = os.fdopen(os.open(self.target, os.O_WRONLY), "wb", buffering=0)
        try:
            handle.seek(0)
            with held_signals():
                shutil.copyfileobj(handle, out, COPY_BUFFER)
                out.flush()
        finally:
            if self.target is not None:
                out.close()


def current_umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask
