"""orvik/cli/destination.py: where the result goes, whole or not at all.

    destination = Destination("out.csv", "out.csv", source=input_stat)  # checked now
    with destination.open() as sink:     # a binary file to build the result in
        sink.write(b"...")
    # leaving the block: the result is in place; an exception: nothing is left
    destination.notes                    # what the user should be told (links, owner)

What the user named decides how the result gets there:

- a new name, or an existing regular file (a symlink is followed to its
  target): the result is built in a hidden file beside the target and renamed
  over it at the end.  A new file gets the mode the umask gives; a replaced
  one keeps its mode, and its owner and group where the user may give them
  (a note says when not).  The replaced file's other hard links keep the old
  content (a note says so);
- standard output that is a regular file (``orvik in.csv > out.csv``): written
  in place, and cut back to where it began when the run fails;
- standard output that is not, a character device (``/dev/null``, a terminal)
  or a FIFO: the result is built in an unnamed temporary file in $TMPDIR and
  copied out at the end; the device or FIFO itself is written in place, never
  replaced;
- a directory (or a name that ends in "/"), a block device or a socket is
  refused, and so is the input.

A name's extension compresses what is written (compression.py).  Every write
is whole or fails: a short write is continued and a full non-blocking pipe
waited on, whatever buffering standard output has.

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
import errno
import fcntl
import os
import select
import signal
import stat
import sys
import tempfile
import threading
from collections.abc import Iterator
from contextlib import contextmanager
from typing import IO

from orvik.cli import compression
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
    (pthread_sigmask) would not hold it while other threads run.  A signal the
    process ignores stays ignored.  Call from the main thread."""
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


def write_all(fd: int, data: bytes) -> None:
    """Writes the whole of `data` to `fd`.  A write may take less than it is
    given (at the edge of a full disk, or on a pipe when a signal comes), and
    a non-blocking descriptor refuses while it is full: the rest is written
    when it can be taken, and an error is raised."""
    view = memoryview(data)
    while view:
        try:
            written = os.write(fd, view)
        except BlockingIOError:
            poll = select.poll()
            poll.register(fd, select.POLLOUT)
            poll.poll()
            continue
        if written == 0:  # not an error, and no progress: never loop on it
            raise OSError(errno.EIO, "the output took none of the bytes written")
        view = view[written:]


class Sink:
    """The file the result is built in, through the output's compression; a
    failing write names the output, and the temporary directory when the
    result is kept there."""

    def __init__(self, handle: IO[bytes], shown: str, kept_in: str | None) -> None:
        self.handle, self.shown, self.kept_in = handle, shown, kept_in
        self.closed = False

    @contextmanager
    def _naming(self) -> Iterator[None]:
        try:
            yield
        except BrokenPipeError:
            raise
        except OSError as exc:
            raise Failure(failure(self.shown, exc, self.kept_in)) from None

    def write(self, data: bytes) -> int:
        with self._naming():
            return self.handle.write(data)

    def tell(self) -> int:
        return self.handle.tell()

    def flush(self) -> None:
        with self._naming():
            self.handle.flush()

    def writable(self) -> bool:
        return True

    def close(self) -> None:  # the destination closes the file itself
        self.flush()
        self.closed = True



def failure(shown: str, exc: OSError, kept_in: str | None = None) -> str:
    """The line that says a write to the output failed."""
    reason = exc.strerror or str(exc)
    if kept_in is None:
        return f"cannot write {shown}: {reason}"
    return (f"cannot write {shown}: the copy kept in {kept_in} until it is whole: {reason} "
            f"(TMPDIR names another directory)")


class Destination:
    """The output the user named (`path`, None for standard output), checked
    before any work; `shown` is how messages name it."""

    RENAME, DIRECT, COPY = "rename", "direct", "copy"

    def __init__(self, path: str | None, shown: str, source: os.stat_result | None) -> None:
        self.shown = shown
        self.target: str | None = None   # the file renamed over, or written in place
        self.mode = 0
        self.owner: tuple[int, int] | None = None  # a replaced file's owner and group
        self.compression = compression.of(path)
        self.member = compression.stripped(os.path.basename(path or ""))
        self.notes: list[str] = []
        if path is None:
            self.how = self._standard_output(source)
            return
        if path == "":
            raise Failure("--output needs a name (or - for standard output)")
        if path.endswith("/"):
            raise Failure(f"--output {shown}: names a directory, not a file")
        try:
            st = os.stat(path)  # what the name leads to, through any symlink
        except FileNotFoundError:
            self.target = os.path.realpath(path)  # a dangling symlink: its target
            if not os.path.isdir(os.path.dirname(self.target)):
                raise Failure(f"--output {shown}: no such directory") from None
            self.mode = 0o666 & ~current_umask()
            self.how = self.RENAME
            return
        except OSError as exc:
            raise Failure(f"--output {shown}: {exc.strerror or exc}") from None
        if stat.S_ISDIR(st.st_mode):
            raise Failure(f"--output {shown}: is a directory")
        if stat.S_ISREG(st.st_mode):
            if same_file(source, st):
                raise Failure(f"--output {shown} is the input file: choose another output")
            self.target = os.path.realpath(path)  # a symlink's target is replaced
            self.mode = stat.S_IMODE(st.st_mode)
            self.owner = (st.st_uid, st.st_gid)
            if st.st_nlink > 1:
                others = st.st_nlink - 1
                self.notes.append(f"{shown} is a new file: {others} other hard "
                                  f"link{'s keep' if others > 1 else ' keeps'} the old content")
            self.how = self.RENAME
        elif stat.S_ISCHR(st.st_mode) or stat.S_ISFIFO(st.st_mode):
            self.target, self.how = path, self.COPY  # opened by its name: /dev/stdout too
        else:
            raise Failure(f"--output {shown}: is neither a file, a character device nor a "
                          f"FIFO")

    def _standard_output(self, source: os.stat_result | None) -> str:
        """How standard output is written: in place when it is a regular file."""
        if sys.stdout is None:
            raise Failure("standard output is closed")
        try:
            st = os.fstat(sys.stdout.fileno())
        except (OSError, ValueError, AttributeError):
            return self.COPY
        if not stat.S_ISREG(st.st_mode):
            return self.COPY
        if same_file(source, st):
            raise Failure("standard output is the input file: choose another output")
        return self.DIRECT

    @contextmanager
    def open(self) -> Iterator[Sink]:
        """A Sink to build the result in; the result reaches the output when
        the block ends without an exception, and nothing remains otherwise."""
        handle: IO[bytes] | None = None
        hidden: list[str] = []  # the hidden file's name while it exists
        began: list[int] = []   # DIRECT: where standard output began, until it is whole
        try:
            with self._naming_failures(), held_signals():
                handle = self._make(hidden, began)
            kept_in = tempfile.gettempdir() if self.how == self.COPY else None
            with self._naming_failures(kept_in):
                sink = Sink(compression.writer(handle, self.compression, self.member),
                            self.shown, kept_in)
            yield sink
            with self._naming_failures(kept_in):
                if sink.handle is not handle:
                    sink.handle.close()  # ends the compressed stream
                handle.flush()
            with self._naming_failures():
                if self.how == self.COPY:
                    self._copy_out(handle)
                elif self.how == self.RENAME:
                    with held_signals():
                        os.replace(hidden[0], self.target)  # type: ignore[arg-type]
                        hidden.clear()
                else:
                    began.clear()
        finally:
            # A second signal can come before the handlers are held: clean up
            # again, then let it take effect.
            later: BaseException | None = None
            while True:
                try:
                    with held_signals():
                        if handle is not None:
                            with contextlib.suppress(OSError):  # a flush of what is thrown away
                                handle.close()
                        while hidden:
                            with contextlib.suppress(FileNotFoundError):
                                os.unlink(hidden[0])
                            hidden.pop()
                        while began:
                            with contextlib.suppress(OSError):
                                os.ftruncate(sys.stdout.fileno(), began[0])
                            began.pop()
                    break
                except (KeyboardInterrupt, Terminated) as exc:
                    later = exc
            if later is not None:
                raise later

    @contextmanager
    def _naming_failures(self, kept_in: str | None = None) -> Iterator[None]:
        """An OSError of the destination's own steps, as a Failure naming the
        output (a closed pipe stays what it is: the reader went away)."""
        try:
            yield
        except BrokenPipeError:
            raise
        except OSError as exc:
            raise Failure(failure(self.shown, exc, kept_in)) from None

    def _make(self, hidden: list[str], began: list[int]) -> IO[bytes]:
        """The file to build in (signals held): unnamed, standard output itself,
        or hidden beside the target and named in `hidden` at once."""
        if self.how == self.COPY:
            try:
                return tempfile.TemporaryFile()
            except OSError as exc:
                raise Failure(failure(self.shown, exc, tempfile.gettempdir())) from None
        if self.how == self.DIRECT:
            sys.stdout.flush()
            fd = os.dup(sys.stdout.fileno())
            # Opened to append (>>), it writes at its end wherever its offset is.
            appends = fcntl.fcntl(fd, fcntl.F_GETFL) & os.O_APPEND
            began.append(os.fstat(fd).st_size if appends else os.lseek(fd, 0, os.SEEK_CUR))
            return os.fdopen(fd, "wb")
        fd, name = tempfile.mkstemp(prefix=".orvik-", dir=os.path.dirname(self.target))
        hidden.append(name)
        if self.owner is not None:
            self._keep_owner(fd)
        os.fchmod(fd, self.mode)
        return os.fdopen(fd, "w+b")

    def _keep_owner(self, fd: int) -> None:
        """Gives the hidden file the replaced file's owner and group, as far as
        the user may; a note says what could not be kept."""
        uid, gid = self.owner  # type: ignore[misc]
        if (uid, gid) == (os.geteuid(), os.getegid()):
            return
        for owner, group in ((uid, gid), (-1, gid)):
            try:
                os.fchown(fd, owner, group)
            except PermissionError:
                continue
            if owner == -1 and uid != os.geteuid():
                self.notes.append(f"{self.shown} is now yours: it belonged to user {uid}")
            return
        self.notes.append(f"{self.shown} is now yours and your group's: it belonged to user "
                          f"{uid} and group {gid}")

    def _copy_out(self, handle: IO[bytes]) -> None:
        """Copies the result to standard output, the device or the FIFO,
        whole: signals wait until the copy is done."""
        if self.target is None:
            sys.stdout.flush()
            fd = sys.stdout.fileno()
        else:
            # Opened before signals are held: a FIFO waits here for a reader.  Never
            # created: if the device or FIFO went away, nothing takes its place.
            fd = os.open(self.target, os.O_WRONLY)
        try:
            handle.seek(0)
            with held_signals():
                while data := handle.read(COPY_BUFFER):
                    write_all(fd, data)
        finally:
            if self.target is not None:
                os.close(fd)


def same_file(source: os.stat_result | None, st: os.stat_result) -> bool:
    return source is not None and (source.st_dev, source.st_ino) == (st.st_dev, st.st_ino)


def current_umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask
