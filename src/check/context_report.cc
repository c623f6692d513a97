// `context`'s report: what read_context found, the job and the barriers the
// kit would run endsession behind, and the call for each operation.
#include <stdio.h>

#include "child_process.h"
#include "context.h"
#include "format_text.h"
#include "job_state.h"
#include "session_calls.h"
#include "token_privilege.h"

void print_context(const check_context& c) {
  printf("token user: %s\n", c.user_sid[0] ? c.user_sid : "unknown");
  if (c.logon_sid[0]) printf("logon SID: %s\n", c.logon_sid);
  else printf("logon SID: none (error %lu)\n", c.logon_error);
  printf("SeShutdownPrivilege: %s\n", !c.privilege_held ? "not held" : c.privilege_enabled ? "held, enabled" : "held, disabled");
  if (!c.station_known) printf("window station: unknown (error %lu)%s\n", c.station_error,
                              c.station_error == ERROR_MOD_NOT_FOUND ? ": no USER32 here" : "");
  else printf("window station: %s, %s\n", c.station_name, c.station_visible ? "visible" : "not visible");
  if (!c.station_known) printf("window station user: unknown (the station is unknown)\n");
  else if (c.station_user_known)
    printf("window station user: %s\n", c.station_user[0] ? c.station_user : "none (nobody logged on)");
  else printf("window station user: unknown (error %lu)\n", c.station_user_error);
  printf("terminal session: %lu\n", c.session_id);
  if (c.token_account[0]) printf("token account: %s\n", c.token_account);
  else printf("token account: unknown (error %lu)\n", c.token_account_error);
  printf("logon session: %s\n", c.logon_session[0] ? c.logon_session : "unknown");
  if (!c.session_user_known) printf("session user: unknown (error %lu)\n", c.session_user_error);
  else printf("session user: %s\n", c.session_user[0] ? c.session_user : "none (a session without a user)");
  if (c.linked_session[0]) printf("linked token's logon session: %s\n", c.linked_session);
  else printf("linked token's logon session: none (error %lu)\n", c.linked_error);
  if (!c.shell_window) printf("desktop shell's logon session: no shell window\n");
  else if (c.shell_known) printf("desktop shell's logon session: %s\n", c.shell_session);
  else printf("desktop shell's logon session: shell not readable (error %lu)\n", c.shell_error);
  printf("account is the session's: %s\n", c.account_match != nullptr ? c.account_match : "no");
  printf("decided by: %s\n", c.shell_window ? "the shell's logon session" : "the session's account");
  printf("interactive user: %s\n", c.interactive_user ? "yes" : "no");
  printf("job: %s\n", job_state_text(read_job_state(start_suspended_copy)));
  // The barrier endsession runs in, made and read back as the kit makes it.
  HANDLE job = barrier_job();
  DWORD error = GetLastError();
  barrier_reading reading = job != nullptr ? read_barrier_job(job) : barrier_reading::missing;
  if (job == nullptr) printf("barrier job: cannot be made here (error %lu)\n", error);
  else if (reading == barrier_reading::holds)
    printf("barrier job: read back: ExitWindowsEx forbidden (JOB_OBJECT_UILIMIT_EXITWINDOWS), killed on close\n");
  else if (reading == barrier_reading::unreadable)
    printf("barrier job: made; this system does not read its UI limits back\n");
  else
    printf("barrier job: read back without its limits\n");
  if (job != nullptr) CloseHandle(job);
  // CreateProcessAsUserW "typically" wants SeIncreaseQuotaPrivilege; where
  // it refuses, the kit gives up SeShutdownPrivilege itself.
  printf("token barrier: %s\n",
         token_holds_privilege("SeIncreaseQuotaPrivilege")
             ? "a copy of the caller's token without SeShutdownPrivilege (CreateProcessAsUserW)"
             : "no SeIncreaseQuotaPrivilege: a copy without SeShutdownPrivilege (CreateProcessAsUserW), or, where "
               "that is refused (1314), the kit's own token without it (CreateProcessW)");
  static const struct { const char* options; UINT flags; } operations[] = {
      {"/l", 0}, {"/l /f", 4}, {"/s", 1}, {"/s /f", 5}, {"/r", 2}, {"/r /f", 6}, {"/p", 8}, {"/p /f", 12}};
  for (const auto& operation : operations) {
    session_call call = documented_call(operation.flags, c.interactive_user);
    char text[128];
    if (call.function == session_function::none) format_text(text, sizeof text, "refused with 1459 (no session-end call)");
    else format_call(call, text, sizeof text);
    printf("endsession %-6s %s\n", operation.options, text);
  }
}
