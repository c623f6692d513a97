#include "session/session_end_route.h"

namespace {

bool on_visible_window_station(HWINSTA station) {
  USEROBJECTFLAGS flags;
  DWORD needed;
  return GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

// Room for a TOKEN_USER or a one-group TOKEN_GROUPS and the SID behind it;
// aligned for the pointers inside.
union token_sid_buffer {
  TOKEN_USER user;
  TOKEN_GROUPS groups;
  BYTE bytes[sizeof(TOKEN_GROUPS) + SECURITY_MAX_SID_SIZE];
};

}  // namespace

bool is_interactive_user(HANDLE token) {
  HWINSTA station = GetProcessWindowStation();
  if (station == nullptr || !on_visible_window_station(station)) return false;

  BYTE station_user[SECURITY_MAX_SID_SIZE];
  DWORD station_user_length = 0;
  bool station_user_known = GetUserObjectInformationW(station, UOI_USER_SID, station_user,
                                                      sizeof station_user, &station_user_length) != 0;
  // Asked whatever the station answered, so that a trace shows both.
  token_sid_buffer logon;
  DWORD needed;
  bool has_logon_sid = GetTokenInformation(token, TokenLogonSid, &logon, sizeof logon, &needed) &&
                       logon.groups.GroupCount > 0;
  if (!station_user_known) return true;           // the visible station decides, as it did
  if (station_user_length == 0) return false;    // nobody is logged on
  if (has_logon_sid && EqualSid(station_user, logon.groups.Groups[0].Sid)) return true;
  token_sid_buffer user;
  return GetTokenInformation(token, TokenUser, &user, sizeof user, &needed) &&
         EqualSid(station_user, user.user.User.Sid);
}

DWORD initiate_shutdown_flags(UINT exit_flags) {
  DWORD force = (exit_flags & EWX_FORCE) != 0 ? SHUTDOWN_FORCE_OTHERS | SHUTDOWN_FORCE_SELF : 0;
  if ((exit_flags & EWX_POWEROFF) != 0) return SHUTDOWN_POWEROFF | force;
  if ((exit_flags & EWX_REBOOT) != 0) return SHUTDOWN_RESTART | force;
  if ((exit_flags & EWX_SHUTDOWN) != 0) return SHUTDOWN_NOREBOOT | force;
  return 0;
}
