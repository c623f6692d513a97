# Accepted command lines really end the (private) Wine session: no output,
# exit status 0, and the relay trace shows the calls in order with the flag
# value the options call for -- on Wine's own desktop, which has no shell
# window, and under a test shell. One case at a time; each waits for the
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

# Under a desktop shell (the launcher's test window, on a display of the
# case's own), the shell's logon session decides: its token's statistics
# are read, and no session name is asked (WTSAPI32 is not even loaded).
shell_accepted() {
  start_display || return
  launch=(shell -)
  who_calls=$shell_calls
  accepted "$@"
  local thread
  thread=$(tool_thread)
  if grep "^$thread:" "$err_file" | grep -qi wtsapi32; then fail "WTSAPI32 was loaded or called"; fi
}
case_forced_reboot_under_a_desktop_shell() { shell_accepted 00000006 /r /f; }
case_logoff_under_a_desktop_shell() { shell_accepted 00000000 /l; }

run_cases "$@"
