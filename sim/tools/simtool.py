"""What every fake macOS tool shares: the call log, the state folder and ownership rules.

Tests read the call log to see exactly which commands ran, and the state folder to see what the
tools' world looks like afterwards, so both formats are part of the simulated Mac's interface
(documented in sim/README.md).
"""

import contextlib
import errno
import fcntl
import io
import json
import os
import pwd
import sys

CALL_LOG = "/var/log/sim/calls.log"
STATE_DIR = "/var/db/sim"


def log_call(argv=None):
    """Appends this call's argument vector as one JSON array line, then a tab and "uid=N", the
    real user id the call ran as (tabs inside the array are always escaped).

    Arguments that are not valid UTF-8 arrive as surrogate escapes; writing them back with
    surrogateescape restores the original bytes, so the line holds exactly what was passed.
    """
    argv = list(sys.argv if argv is None else argv)
    line = json.dumps(argv, ensure_ascii=False) + f"\tuid={os.getuid()}\n"
    data = line.encode("utf-8", "surrogateescape")
    # One write with O_APPEND keeps lines whole when several tools run at once.
    with contextlib.suppress(OSError):
        fd = os.open(CALL_LOG, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o666)
        try:
            os.write(fd, data)
        finally:
            os.close(fd)


def sim_uid():
    return int(os.environ.get("SIM_UID", "501"))


def home():
    """The calling user's home, as the real tools see it: $HOME, else the password database."""
    value = os.environ.get("HOME", "")
    if value.startswith("/"):
        return value.rstrip("/") or "/"
    return pwd.getpwuid(os.getuid()).pw_dir


def visible_to_caller(record):
    """Per-user records (privacy records, LaunchServices registrations) carry the home of the user
    they belong to; each user's tools see their own and those without one."""
    return record.get("home") in (None, home())


def in_search_list(keychain_path):
    """The keychains a user's tools search: their own login keychain and every keychain outside a
    home (the System keychain); never another user's."""
    return not keychain_path.startswith("/Users/") or \
        keychain_path == home() + "/Library/Keychains/login.keychain-db"


def darwin_user_dir():
    return os.environ.get("SIM_DARWIN_USER_DIR", "/var/folders/mv/x8b0x3qn2g53p4j0kfh9lfm40000gn")


def state_path(name):
    return os.path.join(STATE_DIR, name)


@contextlib.contextmanager
def locked_state(name, default):
    """Yields the JSON state `name` for a read-modify-write; saved atomically on normal exit.

    What the tool prints meanwhile is held back until the state is saved: a tool that cannot save
    (as a real tool whose daemon refuses the change) reports the failure and no success text.
    """
    try:
        os.makedirs(STATE_DIR, exist_ok=True)
        # Every account's tools change the state: the lock file must stay writable for all.
        fd = os.open(state_path(name + ".lock"), os.O_RDWR | os.O_CREAT, 0o666)
    except OSError as error:
        fail(f"{os.path.basename(sys.argv[0])}: cannot reach its state: {error.strerror}", 1)
    held = io.StringIO()
    real_stdout = sys.stdout
    sys.stdout = held
    try:
        with contextlib.suppress(OSError):
            os.fchmod(fd, 0o666)
        fcntl.flock(fd, fcntl.LOCK_EX)
        box = {"value": load_state(name, default)}
        try:
            yield box
        except BaseException:
            sys.stdout = real_stdout
            real_stdout.write(held.getvalue())
            raise
        sys.stdout = real_stdout
        try:
            save_state(name, box["value"])
        except OSError as error:
            fail(f"{os.path.basename(sys.argv[0])}: cannot save its state: {error.strerror}", 1)
        real_stdout.write(held.getvalue())
    finally:
        sys.stdout = real_stdout
        os.close(fd)


def load_state(name, default):
    try:
        with open(state_path(name), encoding="utf-8") as f:
            return json.load(f)
    except (OSError, ValueError):
        return default


def save_state(name, value):
    path = state_path(name)
    tmp = f"{path}.{os.getpid()}.tmp"
    try:
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(value, f, indent=1, ensure_ascii=False)
            f.write("\n")
        os.chmod(tmp, 0o666)
        os.replace(tmp, path)
    except OSError:
        with contextlib.suppress(OSError):
            os.unlink(tmp)
        raise


def write_file_like_owner(path, data, space_left=None):
    """Replaces `path` atomically; a new file belongs to whoever owns its folder.

    Root in the simulated Mac acts for the user, as the real preferences daemon does, so files it
    creates in the user's home must stay the user's. On any failure (OSError) the temporary file
    is removed again and `path` is as it was. `space_left`, when given, is how many bytes the disk
    still takes: the write stops there with "No space left on device", as on a full disk.
    """
    folder = os.path.dirname(path) or "."
    tmp = os.path.join(folder, f".{os.path.basename(path)}.{os.getpid()}.tmp")
    try:
        with open(tmp, "wb") as f:
            f.write(data if space_left is None else data[:space_left])
            if space_left is not None and space_left < len(data):
                f.flush()
                raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))
        try:
            st = os.stat(path)
            owner = (st.st_uid, st.st_gid)
            mode = st.st_mode & 0o7777
        except OSError:
            st = os.stat(folder)
            owner = (st.st_uid, st.st_gid)
            mode = 0o600
        os.chmod(tmp, mode)
        if os.getuid() == 0:
            with contextlib.suppress(OSError):
                os.chown(tmp, *owner)
        os.replace(tmp, path)
    except BaseException:
        with contextlib.suppress(OSError):
            os.unlink(tmp)
        raise


def fail(message, status):
    sys.stderr.write(message if message.endswith("\n") else message + "\n")
    sys.exit(status)
