# Accepted command lines really end the (private) Wine session: no output,
# exit status 0, and the relay trace shows the four calls in order with the
# flag value the options call for. One case at a time; each waits for the
# prefix's server to end with the session.
. "$(dirname "$0")/wine_case.sh"

case_logoff() { accepted 00000000 /l; }
case_shutdown_upper_case() { accepted 00000001 /S; }
case_reboot() { accepted 00000002 /r; }
case_poweroff_upper_case() { accepted 00000008 /P; }
case_forced_logoff_force_twice() { accepted 00000004 /f /f /L; }
case_forced_shutdown() { accepted 00000005 /s /F; }
case_forced_reboot_force_first() { accepted 00000006 /F /r; }
case_forced_poweroff() { accepted 0000000c /p /f; }

run_cases "$@"
