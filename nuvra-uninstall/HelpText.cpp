#include "HelpText.h"

const char* const helpText =
    R"(Usage: nuvra-uninstall inventory [--json] [--user NAME]
       nuvra-uninstall run [--yes] [--json] [--user NAME | --all-users]
       nuvra-uninstall --version

Removes nuvra from this Mac without a window: the same scan, steps and session log as
nuvra Uninstaller, for management tools and support scripts.

  inventory     list what is installed (text as "nuvraUninstaller --inventory" prints it)
  run           remove everything, step by step, then check what is left
  --json        machine-readable output: inventory one document, run one object per line
  --yes         remove without asking; required when there is no terminal to ask on
  --user NAME   as root: whose traces to remove (default: the user logged in at the console)
  --all-users   as root, run only: the system-wide part once, then every person's account
  --version     the version and build of the bundle this command ships in
  -h, --help    this text

Run as an ordinary user, it removes that user's traces and asks for administrator rights for
the system-wide ones. Run as root, it removes the system-wide ones directly and the user-level
ones of one user, in that user's context; nothing of any other user is touched. The session
log of a root run is kept in /Library/Logs/nuvraUninstaller/UID (readable by root alone).

Exit status:
  0   nothing left (inventory: nothing to remove; run: verification found nothing)
  1   traces remain (inventory: something to remove; run: residues, or the answer was no)
  3   a step failed (administrator access not granted, the system-wide removal failed, the
      user's process stopped answering)
  64  bad usage (unknown option, subcommand or user, --user without root or naming an
      account that is not a person's, no console user, no terminal to confirm on and no --yes)
  70  internal error, the output could not be written, or another session of the account
      (the window or another run) is running

The manual page is in the bundle this command ships in:
  man /Applications/nuvraUninstaller.app/Contents/Resources/man/nuvra-uninstall.1
)";
