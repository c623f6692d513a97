// The contexts endsession and endsession-check must both decide: each a
// script of the stand-in and whether the process there is the interactive
// user. One table, so that the tool's decision and the kit's are held to
// the same rows.
#pragma once

#include "platform/stand_in/stand_in_control.h"

namespace contexts {

struct interactive_context {
  const char* name;
  bool interactive;
  void (*set)(stand_in::script&);
};

// Only the interactive user -- on the visible station, with the station's
// user SID its logon SID (or its account's), and in the desk's logon
// session (the shell's, or the linked token's for the elevated prompt;
// without a shell, the terminal session's account) -- ends the session with
// ExitWindowsEx. Anyone else (off the station; runas, SYSTEM or an
// interactive service on it; the same account in another logon session;
// nobody logged on) goes to InitiateShutdownW with its own flags and a
// planned reason, and a log-off is refused. Where the station's user cannot
// be read, the visible station and the logon session decide.
//
// Another account (the one runas or an elevation prompt was given) in a
// logon session of its own, its names, and the session's names in another
// form than the lookup's.
constexpr const char* other_user = "S-1-5-21-1004336348-1177238915-682003330-1002";
constexpr LUID another_logon_session{0x9c01f, 0}, a_third_logon_session{0x9c2a4, 0};
inline void other_account(stand_in::script& s) {
  s.token_user = other_user;
  s.account_name = "admin";
  s.named_sid = stand_in::interactive_user_sid;  // what the session's name is
  s.logon_session = another_logon_session;
}
inline void names_in_another_form(stand_in::script& s) {
  s.session_domain = "desktop-7q2.contoso.com";
  s.name_lookup = {FALSE, ERROR_NONE_MAPPED};
}
const interactive_context interactive_contexts[] = {
    {"interactive user, UAC off (the shell's logon session, no linked token)", true,
     [](stand_in::script&) {}},
    {"interactive user with a linked elevated token", true, [](stand_in::script& s) {
       s.has_linked_token = true;
       s.linked_logon_session = another_logon_session;
     }},
    {"the elevated prompt: its linked token in the shell's logon session", true, [](stand_in::script& s) {
       s.logon_session = another_logon_session;
       s.has_linked_token = true;
     }},
    {"station's user unreadable, no shell, the account matches (Wine)", true, [](stand_in::script& s) {
       s.station_user_query = {FALSE, ERROR_INVALID_PARAMETER};
       s.shell_window = false;
     }},
    {"station reports the account", true,
     [](stand_in::script& s) { s.station_user = stand_in::interactive_user_sid; }},
    {"no shell, account names differ in case only", true, [](stand_in::script& s) {
       s.session_user = "ALICE";
       s.session_domain = "desktop-7q2";
       s.name_lookup = {FALSE, ERROR_NONE_MAPPED};
       s.shell_window = false;
     }},
    {"session service down, the shell's logon session", true,
     [](stand_in::script& s) { s.session_query = {FALSE, 1702}; }},  // RPC_S_INVALID_BINDING
    {"no shell, Entra ID: names match, LookupAccountNameW fails", true, [](stand_in::script& s) {
       s.session_user = s.account_name = "alice@contoso.com";
       s.session_domain = s.account_domain = "AzureAD";
       s.name_lookup = {FALSE, ERROR_NONE_MAPPED};
       s.shell_window = false;
     }},
    {"no shell, names in another form, LookupAccountNameW finds the account", true, [](stand_in::script& s) {
       s.session_domain = "desktop-7q2.contoso.com";
       s.shell_window = false;
     }},
    {"names in another form, the shell's logon session", true, names_in_another_form},
    {"invisible station", false, [](stand_in::script& s) { s.window_station_flags = 0; }},
    {"flags unreadable", false,
     [](stand_in::script& s) { s.user_object_information = {FALSE, ERROR_ACCESS_DENIED}; }},
    {"no USER32", false, [](stand_in::script& s) { s.no_window_station = 126; }},  // ERROR_MOD_NOT_FOUND
    // CreateProcessWithLogonW "uses the logon SID in the caller token".
    {"runas: the desktop's logon SID, another account", false, other_account},
    {"runas, the shell's token denied", false, [](stand_in::script& s) {
       other_account(s);
       s.shell_token_refusal = ERROR_ACCESS_DENIED;
     }},
    {"over-the-shoulder elevation: the desktop's logon SID, an administrator's account", false,
     [](stand_in::script& s) {
       other_account(s);
       s.token_user = "S-1-5-21-1004336348-1177238915-682003330-500";
       s.account_name = "Administrator";
       s.has_linked_token = true;
       s.linked_logon_session = a_third_logon_session;
     }},
    // The same account and logon SID in another logon session: the names
    // all match, only the logon session tells.
    {"runas as the same account", false,
     [](stand_in::script& s) { s.logon_session = another_logon_session; }},
    {"runas /netonly: an administrator's token in a new logon session", false, [](stand_in::script& s) {
       s.logon_session = another_logon_session;
       s.has_linked_token = true;  // its elevated twin, linked to the desk's, not the desk's
       s.linked_logon_session = a_third_logon_session;
     }},
    {"\"Prompt for credentials\" elevation of the same administrator", false, [](stand_in::script& s) {
       s.logon_session = another_logon_session;
       s.has_linked_token = true;
       s.linked_logon_session = a_third_logon_session;
     }},
    {"the shell's token denied, the same account", false,
     [](stand_in::script& s) { s.shell_token_refusal = ERROR_ACCESS_DENIED; }},
    {"the shell's process denied, the same account", false,
     [](stand_in::script& s) { s.shell_process_refusal = ERROR_ACCESS_DENIED; }},
    {"a shell in another logon session", false,
     [](stand_in::script& s) { s.shell_logon_session = another_logon_session; }},
    // A LUID is two halves: sessions that differ in the high one only.
    {"a shell in a logon session that differs in its high part only", false, [](stand_in::script& s) {
       s.shell_logon_session = {stand_in::interactive_logon_session.LowPart, 1};
     }},
    {"the elevated prompt, its linked token's session differing in its high part only", false,
     [](stand_in::script& s) {
       s.logon_session = another_logon_session;
       s.has_linked_token = true;
       s.linked_logon_session = {stand_in::interactive_logon_session.LowPart, 1};
     }},
    {"no shell, names in another form", false, [](stand_in::script& s) {
       names_in_another_form(s);
       s.shell_window = false;
     }},
    {"no shell, another account", false, [](stand_in::script& s) {
       other_account(s);
       s.shell_window = false;
     }},
    {"no shell, session service down", false, [](stand_in::script& s) {
       s.session_query = {FALSE, 1702};
       s.shell_window = false;
     }},
    {"no shell, account lookups fail", false, [](stand_in::script& s) {
       s.account_lookup = {FALSE, ERROR_NONE_MAPPED};
       s.name_lookup = {FALSE, ERROR_NONE_MAPPED};
       s.shell_window = false;
     }},
    {"no shell, session 0 without a user", false, [](stand_in::script& s) {
       s.session_user = "";
       s.shell_window = false;
     }},
    {"station's user unreadable, another account", false, [](stand_in::script& s) {
       other_account(s);
       s.station_user_query = {FALSE, ERROR_INVALID_PARAMETER};
     }},
    {"another logon's SID", false, [](stand_in::script& s) { s.logon_sid = "S-1-5-5-0-88123"; }},
    {"nobody logged on", false, [](stand_in::script& s) { s.station_user = nullptr; }},
    {"no logon SID (SYSTEM)", false, [](stand_in::script& s) {
       s.logon_sid_query = {FALSE, ERROR_NOT_FOUND};
       s.token_user = "S-1-5-18";
     }},
    {"no logon group", false, [](stand_in::script& s) {
       s.logon_sid = nullptr;
       s.token_user = "S-1-5-18";
     }},
};

}  // namespace contexts
