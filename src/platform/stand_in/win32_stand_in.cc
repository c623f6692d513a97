// A small, deterministic model of the Win32 calls the tool makes; see
// stand_in_control.h for what tests can script.
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "platform/stand_in/stand_in_control.h"

namespace stand_in {
namespace {

constexpr size_t max_calls = 64;
constexpr size_t max_messages = 8;
constexpr size_t max_message_length = 1023;
constexpr size_t max_enabled = 8;

struct message {
  DWORD code;
  char text[max_message_length + 1];
};

// Windows-style texts, CRLF included, for the codes the tests use.
struct builtin_message {
  DWORD code;
  const char* text;
};
const builtin_message builtin_messages[] = {
    {ERROR_ACCESS_DENIED, "Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, "The handle is invalid.\r\n"},
    {ERROR_CALL_NOT_IMPLEMENTED, "This function is not supported on this system.\r\n"},
    {ERROR_NOT_ALL_ASSIGNED, "Not all privileges or groups referenced are assigned to the caller.\r\n"},
    {ERROR_NO_SUCH_PRIVILEGE, "A specified privilege does not exist.\r\n"},
    {ERROR_PRIVILEGE_NOT_HELD, "A required privilege is not held by the client.\r\n"},
    {ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION, "This operation requires an interactive window station.\r\n"},
};

struct state {
  script current;
  DWORD last_error = ERROR_SUCCESS;
  call calls[max_calls];
  size_t call_count = 0;
  message messages[max_messages];
  size_t message_count = 0;
  LUID enabled[max_enabled];
  size_t enabled_count = 0;
  size_t session_buffers = 0;
  // The job the kit made: what SetInformationJobObject set on it.
  DWORD made_job_limits = 0, made_job_ui = 0;
};
state the_state;

call& record(call_kind kind) {
  static call overflow;  // calls beyond the record are dropped, not written past it
  if (the_state.call_count == max_calls) return overflow = call{};
  call& entry = the_state.calls[the_state.call_count++];
  entry = call{};
  entry.kind = kind;
  return entry;
}

bool same_luid(LUID a, LUID b) { return a.LowPart == b.LowPart && a.HighPart == b.HighPart; }

const char* find_message(DWORD code) {
  for (size_t i = 0; i < the_state.message_count; ++i)
    if (the_state.messages[i].code == code) return the_state.messages[i].text;
  for (const builtin_message& entry : builtin_messages)
    if (entry.code == code) return entry.text;
  return nullptr;
}

bool has_inserts(const char* text) {
  for (const char* p = text; *p != '\0'; ++p)
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') return true;
  return false;
}

}  // namespace

void reset() { the_state = state{}; }
script& current_script() { return the_state.current; }
void set_last_error(DWORD code) { the_state.last_error = code; }

void set_message(DWORD code, const char* text) {
  message* slot = nullptr;
  for (size_t i = 0; i < the_state.message_count; ++i)
    if (the_state.messages[i].code == code) slot = &the_state.messages[i];
  if (slot == nullptr) {
    if (the_state.message_count == max_messages) return;
    slot = &the_state.messages[the_state.message_count++];
  }
  slot->code = code;
  strncpy(slot->text, text, max_message_length);
  slot->text[max_message_length] = '\0';
}

size_t call_count() { return the_state.call_count; }
const call& call_at(size_t index) { return the_state.calls[index]; }

size_t count_of(call_kind kind) {
  size_t count = 0;
  for (size_t i = 0; i < the_state.call_count; ++i) count += the_state.calls[i].kind == kind;
  return count;
}

const call* first_of(call_kind kind) {
  for (size_t i = 0; i < the_state.call_count; ++i)
    if (the_state.calls[i].kind == kind) return &the_state.calls[i];
  return nullptr;
}

size_t session_buffers_outstanding() { return the_state.session_buffers; }
size_t enabled_privilege_count() { return the_state.enabled_count; }
LUID enabled_privilege_at(size_t index) { return the_state.enabled[index]; }

}  // namespace stand_in

using namespace stand_in;

namespace {
// A recognisable pseudo-handle, like the real (HANDLE)-1.
HANDLE const current_process = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1));
HANDLE const token_handle = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x58));
HWINSTA const window_station = reinterpret_cast<HWINSTA>(static_cast<intptr_t>(0x30));
// The desktop shell: its window, process (by id and handle) and token.
HWND const shell_window = reinterpret_cast<HWND>(static_cast<intptr_t>(0x10010));
constexpr DWORD shell_process_id = 4242;
HANDLE const shell_process = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x64));
HANDLE const shell_token = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x5c));
// The token's linked token, as TokenLinkedToken hands it out.
HANDLE const linked_token = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x6c));

HANDLE const made_job = reinterpret_cast<HANDLE>(static_cast<intptr_t>(0x1a4));

BOOL finish(const outcome& scripted) {
  if (!scripted.result) the_state.last_error = scripted.last_error;
  return scripted.result;
}

// A SID string ("S-1-5-5-0-197451") in the binary form Windows uses:
// revision, sub-authority count, a 48-bit big-endian authority, then the
// 32-bit sub-authorities. Returns its length (0 for nullptr).
size_t binary_sid(const char* text, BYTE* out) {
  if (text == nullptr) return 0;
  unsigned long long parts[16];
  size_t count = 0;
  for (const char* p = text + 2; *p != '\0' && count < 16;) {
    char* end;
    parts[count++] = strtoull(p, &end, 10);
    p = *end == '-' ? end + 1 : end;
  }
  size_t sub_authorities = count - 2;  // after revision and authority
  out[0] = static_cast<BYTE>(parts[0]);
  out[1] = static_cast<BYTE>(sub_authorities);
  for (int i = 0; i < 6; ++i) out[2 + i] = static_cast<BYTE>(parts[1] >> (8 * (5 - i)));
  for (size_t i = 0; i < sub_authorities; ++i) {
    uint32_t value = static_cast<uint32_t>(parts[2 + i]);
    memcpy(out + 8 + 4 * i, &value, sizeof value);
  }
  return 8 + 4 * sub_authorities;
}

// Writes `header` (with its SID pointer at `sid_field`) and the SID behind
// it, as GetTokenInformation lays out TOKEN_USER and TOKEN_GROUPS.
template <typename record>
BOOL token_answer(record header, PSID* sid_field, const char* sid_text, PVOID information, DWORD length,
                  PDWORD needed) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  size_t sid_length = binary_sid(sid_text, sid);
  *needed = static_cast<DWORD>(sizeof header + sid_length);
  if (length < *needed) {
    the_state.last_error = ERROR_INSUFFICIENT_BUFFER;
    return FALSE;
  }
  BYTE* out = static_cast<BYTE*>(information);
  memcpy(out, &header, sizeof header);
  memcpy(out + sizeof header, sid, sid_length);
  if (sid_length != 0) *sid_field = out + sizeof header;
  return TRUE;
}
}  // namespace

HANDLE WINAPI GetCurrentProcess(void) {
  record(call_kind::get_current_process);
  return current_process;
}

BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desired_access, PHANDLE token) {
  call& entry = record(call_kind::open_process_token);
  entry.handle = process;
  entry.access = desired_access;
  if (process == shell_process) {
    if (the_state.current.shell_token_refusal != ERROR_SUCCESS)
      return finish({FALSE, the_state.current.shell_token_refusal});
    *token = shell_token;
    return TRUE;
  }
  BOOL result = finish(the_state.current.open_process_token);
  if (result) *token = token_handle;
  return result;
}

BOOL WINAPI LookupPrivilegeValueA(LPCSTR system_name, LPCSTR name, PLUID luid) {
  call& entry = record(call_kind::lookup_privilege_value);
  entry.system_name_is_null = system_name == nullptr;
  strncpy(entry.privilege_name, name, sizeof entry.privilege_name - 1);
  if (!the_state.current.lookup_privilege_value.result) return finish(the_state.current.lookup_privilege_value);
  if (strcmp(name, "SeShutdownPrivilege") != 0) {
    the_state.last_error = ERROR_NO_SUCH_PRIVILEGE;
    return FALSE;
  }
  *luid = shutdown_luid;  // a failed lookup, like the real one, writes nothing
  return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state,
                                  DWORD buffer_length, PTOKEN_PRIVILEGES previous_state,
                                  PDWORD return_length) {
  call& entry = record(call_kind::adjust_token_privileges);
  entry.handle = token;
  entry.disable_all = disable_all;
  entry.new_state = *new_state;
  entry.buffer_length = buffer_length;
  entry.previous_state_is_null = previous_state == nullptr;
  entry.return_length_is_null = return_length == nullptr;
  if (the_state.current.adjust_is_scripted) {
    // The real call sets the last error on success too.
    the_state.last_error = the_state.current.adjust_token_privileges.last_error;
    return the_state.current.adjust_token_privileges.result;
  }
  // A token holding the shutdown privilege and one other; what it does not
  // hold is reported as ERROR_NOT_ALL_ASSIGNED with a TRUE result.
  bool all_assigned = true;
  for (DWORD i = 0; i < new_state->PrivilegeCount && i < 1; ++i) {
    LUID luid = new_state->Privileges[i].Luid;
    bool held = same_luid(luid, shutdown_luid) || same_luid(luid, other_held_luid);
    if (!held) {
      all_assigned = false;
    } else if ((new_state->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0 &&
               the_state.enabled_count < max_enabled) {
      the_state.enabled[the_state.enabled_count++] = luid;
    }
  }
  the_state.last_error = all_assigned ? ERROR_SUCCESS : ERROR_NOT_ALL_ASSIGNED;
  return TRUE;
}

DWORD WINAPI GetLastError(void) {
  record(call_kind::get_last_error).last_error_returned = the_state.last_error;
  return the_state.last_error;
}

BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason) {
  call& entry = record(call_kind::exit_windows_ex);
  entry.exit_flags = flags;
  entry.reason = reason;
  return finish(the_state.current.exit_windows_ex);
}

HWINSTA WINAPI GetProcessWindowStation(void) {
  record(call_kind::get_process_window_station);
  if (the_state.current.no_window_station != ERROR_SUCCESS) {
    the_state.last_error = the_state.current.no_window_station;
    return nullptr;
  }
  return window_station;
}

BOOL WINAPI GetUserObjectInformationW(HANDLE object, INT index, PVOID info, DWORD length,
                                      LPDWORD needed) {
  call& entry = record(call_kind::get_user_object_information);
  entry.object = object;
  entry.index = index;
  entry.length = length;
  if (object == window_station && index == UOI_USER_SID) {
    if (!finish(the_state.current.station_user_query)) return FALSE;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    *needed = static_cast<DWORD>(binary_sid(the_state.current.station_user, sid));
    if (length < *needed) {
      the_state.last_error = ERROR_INSUFFICIENT_BUFFER;
      return FALSE;
    }
    // Nobody logged on: what the buffer then holds is not documented. Here
    // it is the caller's own logon SID, so that only the length tells.
    size_t written = *needed;
    if (written == 0) written = binary_sid(the_state.current.logon_sid, sid);
    if (written <= length) memcpy(info, sid, written);
    return TRUE;
  }
  if (!finish(the_state.current.user_object_information)) return FALSE;
  if (object != window_station || index != UOI_FLAGS || length < sizeof(USEROBJECTFLAGS)) {
    the_state.last_error = ERROR_INVALID_PARAMETER;
    return FALSE;
  }
  USEROBJECTFLAGS flags{TRUE, FALSE, the_state.current.window_station_flags};
  memcpy(info, &flags, sizeof flags);
  *needed = sizeof flags;
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, PVOID information,
                                DWORD length, PDWORD needed) {
  call& entry = record(call_kind::get_token_information);
  entry.handle = token;
  entry.index = information_class;
  entry.length = length;
  if (token != token_handle && token != shell_token && token != linked_token) {
    the_state.last_error = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (information_class == TokenStatistics) {
    *needed = sizeof(TOKEN_STATISTICS);
    if (length < *needed) return finish({FALSE, ERROR_INSUFFICIENT_BUFFER});
    TOKEN_STATISTICS statistics{};
    statistics.AuthenticationId = token == shell_token    ? the_state.current.shell_logon_session
                                  : token == linked_token ? the_state.current.linked_logon_session
                                                          : the_state.current.logon_session;
    memcpy(information, &statistics, sizeof statistics);
    return TRUE;
  }
  if (token != token_handle) return finish({FALSE, ERROR_INVALID_PARAMETER});  // asked of the token only
  if (information_class == TokenPrivileges) {
    // The two privileges the token holds, both disabled.
    struct {
      DWORD count;
      LUID_AND_ATTRIBUTES privileges[2];
    } held{2, {{shutdown_luid, 0}, {other_held_luid, 0}}};
    *needed = sizeof held;
    if (length < *needed) return finish({FALSE, ERROR_INSUFFICIENT_BUFFER});
    memcpy(information, &held, sizeof held);
    return TRUE;
  }
  if (information_class == TokenLinkedToken) {
    *needed = sizeof(TOKEN_LINKED_TOKEN);
    if (!the_state.current.has_linked_token) return finish({FALSE, ERROR_NO_SUCH_LOGON_SESSION});
    if (length < *needed) return finish({FALSE, ERROR_INSUFFICIENT_BUFFER});
    TOKEN_LINKED_TOKEN linked{linked_token};
    memcpy(information, &linked, sizeof linked);
    return TRUE;
  }
  if (information_class == TokenUser) {
    TOKEN_USER user{};
    return token_answer(user, &reinterpret_cast<TOKEN_USER*>(information)->User.Sid,
                        the_state.current.token_user, information, length, needed);
  }
  if (information_class == TokenLogonSid) {
    // A failed query's buffer is not documented: here it holds the
    // station's user as the group, so that only the answer tells.
    bool answered = the_state.current.logon_sid_query.result;
    const char* sid = answered ? the_state.current.logon_sid : the_state.current.station_user;
    TOKEN_GROUPS groups{sid != nullptr ? 1u : 0u, {}};
    BOOL result = token_answer(groups, &reinterpret_cast<TOKEN_GROUPS*>(information)->Groups[0].Sid, sid,
                               information, length, needed);
    return answered ? result : finish(the_state.current.logon_sid_query);
  }
  the_state.last_error = ERROR_INVALID_PARAMETER;
  return FALSE;
}

BOOL WINAPI EqualSid(PSID a, PSID b) {
  const BYTE* left = static_cast<const BYTE*>(a);
  const BYTE* right = static_cast<const BYTE*>(b);
  the_state.last_error = ERROR_SUCCESS;
  return left[0] == right[0] && left[1] == right[1] && memcmp(left, right, 8 + 4 * size_t{left[1]}) == 0;
}

BOOL WINAPI CopySid(DWORD length, PSID destination, PSID source) {
  size_t size = 8 + 4 * size_t{static_cast<const BYTE*>(source)[1]};
  if (length < size) return finish({FALSE, ERROR_INSUFFICIENT_BUFFER});
  memcpy(destination, source, size);
  return TRUE;
}

BOOL WINAPI ConvertSidToStringSidW(PSID sid, LPWSTR* text) {
  const BYTE* bytes = static_cast<const BYTE*>(sid);
  unsigned long long authority = 0;
  for (int i = 0; i < 6; ++i) authority = authority << 8 | bytes[2 + i];
  char narrow[192];
  int length = snprintf(narrow, sizeof narrow, "S-%u-%llu", bytes[0], authority);
  for (int i = 0; i < bytes[1]; ++i) {
    uint32_t part;
    memcpy(&part, bytes + 8 + 4 * i, sizeof part);
    length += snprintf(narrow + length, sizeof narrow - length, "-%u", static_cast<unsigned>(part));
  }
  auto* wide = static_cast<WCHAR*>(malloc((length + 1) * sizeof(WCHAR)));
  for (int i = 0; i <= length; ++i) wide[i] = static_cast<WCHAR>(narrow[i]);
  *text = wide;
  return TRUE;
}

HLOCAL WINAPI LocalFree(HLOCAL memory) {
  free(memory);
  return nullptr;
}

DWORD WINAPI GetCurrentProcessId(void) { return 4711; }
BOOL WINAPI ProcessIdToSessionId(DWORD, DWORD* session_id) {
  *session_id = 1;
  return TRUE;
}

DWORD WINAPI InitiateShutdownW(LPWSTR machine, LPWSTR message, DWORD grace_period, DWORD flags,
                               DWORD reason) {
  call& entry = record(call_kind::initiate_shutdown);
  entry.machine_is_null = machine == nullptr;
  entry.message_is_null = message == nullptr;
  entry.grace_period = grace_period;
  entry.shutdown_flags = flags;
  entry.reason = reason;
  return the_state.current.initiate_shutdown;
}

// UTF-8 to UTF-16 and back, for the stand-in's texts and code page 65001.
// Malformed UTF-8 becomes U+FFFD, as with the real conversion.
namespace {

size_t utf8_to_utf16(const char* text, size_t length, char16_t* out, size_t out_size) {
  size_t written = 0;
  auto put = [&](char32_t unit) {
    if (out != nullptr && written < out_size) out[written] = static_cast<char16_t>(unit);
    ++written;
  };
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* end = p + length;
  while (p < end) {
    char32_t c = *p++;
    int more = c >= 0xF8 ? 0 : c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
    if (c >= 0x80 && more == 0) c = 0xFFFD;
    // Like Windows, an overlong form, a surrogate or a value past U+10FFFF
    // is malformed: never an ASCII character in disguise (C0 AF is not '/').
    static const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    const char32_t floor = smallest[more];
    if (more > 0) c &= 0x3Fu >> more;
    for (; more > 0; --more) {
      if (p == end || (*p & 0xC0) != 0x80) { c = 0xFFFD; break; }
      c = (c << 6) | (*p++ & 0x3Fu);
    }
    if (c < floor || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) c = 0xFFFD;
    if (c >= 0x10000) {
      put(0xD800 + ((c - 0x10000) >> 10));
      put(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      put(c);
    }
  }
  return written;
}

size_t utf16_to_utf8(const char16_t* wide, size_t length, char* out, size_t out_size) {
  size_t written = 0;
  auto put = [&](char32_t byte) {
    if (out != nullptr && written < out_size) out[written] = static_cast<char>(byte);
    ++written;
  };
  for (size_t i = 0; i < length; ++i) {
    char32_t c = wide[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6)), put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      put(0xE0 | (c >> 12)), put(0x80 | ((c >> 6) & 0x3F)), put(0x80 | (c & 0x3F));
    } else {
      put(0xF0 | (c >> 18)), put(0x80 | ((c >> 12) & 0x3F)), put(0x80 | ((c >> 6) & 0x3F)),
          put(0x80 | (c & 0x3F));
    }
  }
  return written;
}

UINT resolved(UINT code_page) { return code_page == CP_ACP ? the_state.current.ansi_code_page : code_page; }

// Like the real calls: -1 counts the NUL too; a size of 0 asks for the
// length; too small a buffer fails with ERROR_INSUFFICIENT_BUFFER after
// writing what fits (the worst a real conversion may leave).
int conversion_result(size_t needed, size_t size) {
  if (size != 0 && needed > size) {
    the_state.last_error = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  return static_cast<int>(needed);
}

// A few characters of the Western European code pages, enough to tell
// them apart: Windows' ANSI 1252 and OEM 850 put them at different bytes.
struct western_character {
  char16_t unit;
  unsigned char ansi_1252, oem_850;  // 0: not in that code page
};
const western_character western_characters[] = {
    {u'\u00e0', 0xE0, 0x85}, {u'\u00e4', 0xE4, 0x84}, {u'\u00e7', 0xE7, 0x87}, {u'\u00e8', 0xE8, 0x8A},
    {u'\u00e9', 0xE9, 0x82}, {u'\u00ea', 0xEA, 0x88}, {u'\u00f6', 0xF6, 0x94}, {u'\u00fc', 0xFC, 0x81},
    {u'\u00c9', 0xC9, 0x90}, {u'\u00df', 0xDF, 0xE1}, {u'\u20ac', 0x80, 0},
};
// Characters neither has, which the system writes as a look-alike ("best
// fit") unless WC_NO_BEST_FIT_CHARS asks for '?'.
const struct { char16_t unit; char fit; } best_fits[] = {{u'\u0100', 'A'}, {u'\u0101', 'a'}};

char western_byte(UINT code_page, DWORD flags, char16_t unit) {
  if (unit < 0x80) return static_cast<char>(unit);
  for (const western_character& c : western_characters) {
    unsigned char byte = code_page == 1252 ? c.ansi_1252 : c.oem_850;
    if (c.unit == unit && byte != 0) return static_cast<char>(byte);
  }
  if ((flags & WC_NO_BEST_FIT_CHARS) == 0)
    for (const auto& fit : best_fits)
      if (fit.unit == unit) return fit.fit;
  return '?';
}

}  // namespace

int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int length, LPSTR text,
                               int size, LPCSTR, LPBOOL) {
  size_t count = 0;
  if (length < 0) {
    while (wide[count] != 0) ++count;
    ++count;
  } else {
    count = static_cast<size_t>(length);
  }
  size_t room = static_cast<size_t>(size);
  size_t needed;
  UINT target = resolved(code_page);
  switch (target) {
    case CP_UTF8: needed = utf16_to_utf8(wide, count, room ? text : nullptr, room); break;
    case latin1_code_page:
      for (size_t i = 0; i < count && i < room; ++i) text[i] = wide[i] < 0x100 ? static_cast<char>(wide[i]) : '?';
      needed = count;
      break;
    case ansi_1252_code_page:
    case oem_850_code_page:
      for (size_t i = 0; i < count && i < room; ++i) text[i] = western_byte(target, flags, wide[i]);
      needed = count;
      break;
    default: the_state.last_error = ERROR_INVALID_PARAMETER; return 0;
  }
  return conversion_result(needed, room);
}

UINT WINAPI GetConsoleOutputCP(void) { return the_state.current.console_output_code_page; }
int WINAPI GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size) {
  DWORD value = 0;  // 0: a query the stand-in does not answer
  if (type == (LOCALE_IDEFAULTCODEPAGE | LOCALE_RETURN_NUMBER)) value = the_state.current.oem_code_page;
  if (type == (LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER)) value = the_state.current.ansi_code_page;
  if (locale != LOCALE_SYSTEM_DEFAULT || value == 0 || static_cast<size_t>(size) * sizeof(WCHAR) < sizeof value) {
    the_state.last_error = ERROR_INVALID_PARAMETER;
    return 0;
  }
  memcpy(data, &value, sizeof value);
  return sizeof value / sizeof(WCHAR);
}

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPWSTR buffer, DWORD size, void* arguments) {
  call& entry = record(call_kind::format_message);
  entry.format_flags = flags;
  entry.source_is_null = source == nullptr;
  entry.message_id = message_id;
  entry.language_id = language_id;
  entry.size = size;
  entry.arguments_is_null = arguments == nullptr;
  const char* text = (flags & FORMAT_MESSAGE_FROM_SYSTEM) != 0 ? find_message(message_id) : nullptr;
  if (text == nullptr) {
    the_state.last_error = ERROR_MR_MID_NOT_FOUND;
    return 0;
  }
  // Inserts without IGNORE_INSERTS would be read from `arguments`; with none
  // given, the stand-in refuses instead of reading from nowhere.
  if ((flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0 && has_inserts(text) && arguments == nullptr) {
    the_state.last_error = ERROR_INVALID_PARAMETER;
    return 0;
  }
  size_t length = utf8_to_utf16(text, strlen(text), nullptr, 0);
  if (length + 1 > size) {
    // The worst a real lookup may leave: the buffer filled, unterminated.
    utf8_to_utf16(text, strlen(text), buffer, size);
    the_state.last_error = ERROR_INSUFFICIENT_BUFFER;
    return 0;
  }
  utf8_to_utf16(text, strlen(text), buffer, size);
  buffer[length] = 0;
  return static_cast<DWORD>(length);
}

namespace {

// Copies `text` (UTF-8) into `out` as LookupAccount*W do: `*size` in units,
// NUL included; too small a buffer fails with the size needed.
bool account_text(const char* text, LPWSTR out, LPDWORD size) {
  size_t length = utf8_to_utf16(text, strlen(text), nullptr, 0);
  if (length + 1 > *size) {
    *size = static_cast<DWORD>(length + 1);
    the_state.last_error = ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  utf8_to_utf16(text, strlen(text), out, length);
  out[length] = 0;
  *size = static_cast<DWORD>(length);
  return true;
}

bool same_sid(PSID sid, const char* text) {
  BYTE expected[SECURITY_MAX_SID_SIZE];
  size_t length = binary_sid(text, expected);
  return length != 0 && memcmp(sid, expected, length) == 0;
}

char16_t folded(char16_t unit) {
  bool lower = (unit >= u'a' && unit <= u'z') || (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7);
  return lower ? static_cast<char16_t>(unit - 0x20) : unit;
}

}  // namespace

BOOL WINAPI LookupAccountSidW(LPCWSTR system_name, PSID sid, LPWSTR name, LPDWORD name_length, LPWSTR domain,
                              LPDWORD domain_length, SID_NAME_USE* use) {
  call& entry = record(call_kind::lookup_account_sid);
  entry.system_name_is_null = system_name == nullptr;
  if (!finish(the_state.current.account_lookup)) return FALSE;
  if (!same_sid(sid, the_state.current.token_user)) return finish({FALSE, ERROR_NONE_MAPPED});
  if (!account_text(the_state.current.account_name, name, name_length) ||
      !account_text(the_state.current.account_domain, domain, domain_length))
    return FALSE;
  *use = SidTypeUser;
  return TRUE;
}

BOOL WINAPI LookupAccountNameW(LPCWSTR system_name, LPCWSTR name, PSID sid, LPDWORD sid_length, LPWSTR domain,
                               LPDWORD domain_length, SID_NAME_USE* use) {
  call& entry = record(call_kind::lookup_account_name);
  entry.system_name_is_null = system_name == nullptr;
  size_t length = 0;
  while (name[length] != 0) ++length;
  entry.account[utf16_to_utf8(name, length, entry.account, sizeof entry.account - 1)] = '\0';
  if (!finish(the_state.current.name_lookup)) return FALSE;
  BYTE found[SECURITY_MAX_SID_SIZE];
  DWORD found_length = static_cast<DWORD>(binary_sid(the_state.current.named_sid, found));
  if (*sid_length < found_length) {
    *sid_length = found_length;
    return finish({FALSE, ERROR_INSUFFICIENT_BUFFER});
  }
  memcpy(sid, found, found_length);
  *sid_length = found_length;
  *use = SidTypeUser;
  return account_text(the_state.current.session_domain, domain, domain_length);
}

BOOL WINAPI WTSQuerySessionInformationW(HANDLE server, DWORD session_id, WTS_INFO_CLASS information_class,
                                        LPWSTR* buffer, DWORD* bytes) {
  call& entry = record(call_kind::query_session_information);
  entry.handle = server;
  entry.session_id = session_id;
  entry.index = information_class;
  if (!finish(the_state.current.session_query)) return FALSE;
  const char* text = information_class == WTSUserName     ? the_state.current.session_user
                     : information_class == WTSDomainName ? the_state.current.session_domain
                                                          : nullptr;
  if (text == nullptr) return finish({FALSE, ERROR_INVALID_PARAMETER});
  size_t length = utf8_to_utf16(text, strlen(text), nullptr, 0);
  auto* copy = static_cast<char16_t*>(malloc((length + 1) * sizeof(char16_t)));
  utf8_to_utf16(text, strlen(text), copy, length);
  copy[length] = 0;
  *buffer = copy;
  *bytes = static_cast<DWORD>((length + 1) * sizeof(char16_t));
  ++the_state.session_buffers;
  return TRUE;
}

void WINAPI WTSFreeMemory(PVOID memory) {
  --the_state.session_buffers;
  free(memory);
}

HWND WINAPI GetShellWindow(void) {
  record(call_kind::get_shell_window);
  return the_state.current.shell_window ? shell_window : nullptr;
}

DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD process_id) {
  if (window != shell_window) return finish({FALSE, ERROR_INVALID_HANDLE});
  *process_id = shell_process_id;
  return 77;  // the shell's thread
}

HANDLE WINAPI OpenProcess(DWORD desired_access, BOOL, DWORD process_id) {
  call& entry = record(call_kind::open_process);
  entry.access = desired_access;
  entry.session_id = process_id;
  if (process_id != shell_process_id) return finish({FALSE, ERROR_INVALID_PARAMETER}), nullptr;
  if (the_state.current.shell_process_refusal != ERROR_SUCCESS)
    return finish({FALSE, the_state.current.shell_process_refusal}), nullptr;
  return shell_process;
}

int WINAPI CompareStringOrdinal(LPCWSTR a, int a_length, LPCWSTR b, int b_length, BOOL ignore_case) {
  size_t i = 0;
  for (;; ++i) {
    bool a_end = a_length < 0 ? a[i] == 0 : i == static_cast<size_t>(a_length);
    bool b_end = b_length < 0 ? b[i] == 0 : i == static_cast<size_t>(b_length);
    if (a_end || b_end) return a_end && b_end ? CSTR_EQUAL : a_end ? 1 : 3;
    char16_t x = ignore_case ? folded(a[i]) : a[i], y = ignore_case ? folded(b[i]) : b[i];
    if (x != y) return x < y ? 1 : 3;
  }
}

std::u16string stand_in::utf16_from_utf8(const char* text) {
  size_t length = strlen(text);
  std::u16string wide(utf8_to_utf16(text, length, nullptr, 0), u'\0');
  utf8_to_utf16(text, length, wide.data(), wide.size());
  return wide;
}

BOOL WINAPI CloseHandle(HANDLE) { return TRUE; }
BOOL WINAPI TerminateProcess(HANDLE, UINT) { return TRUE; }
void WINAPI SetLastError(DWORD code) { the_state.last_error = code; }

BOOL WINAPI IsProcessInJob(HANDLE process, HANDLE job, PBOOL result) {
  call& entry = record(call_kind::is_process_in_job);
  entry.handle = process;
  entry.object = job;
  bool caller = process == current_process;
  if (!finish(caller ? the_state.current.caller_job_query : the_state.current.child_job_query)) return FALSE;
  *result = (caller ? the_state.current.caller_in_job : the_state.current.child_in_job) ? TRUE : FALSE;
  return TRUE;
}

HANDLE WINAPI CreateJobObjectW(void*, LPCWSTR) {
  record(call_kind::create_job);
  return finish(the_state.current.job_creation) ? made_job : nullptr;
}

BOOL WINAPI SetInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS information_class, PVOID information,
                                    DWORD length) {
  call& entry = record(call_kind::set_job_information);
  entry.handle = job;
  entry.index = information_class;
  entry.length = length;
  if (!finish(the_state.current.job_setting)) return FALSE;
  if (job != made_job) return finish({FALSE, ERROR_INVALID_HANDLE});
  if (information_class == JobObjectBasicUIRestrictions && length == sizeof(JOBOBJECT_BASIC_UI_RESTRICTIONS)) {
    entry.job_value = the_state.made_job_ui =
        static_cast<JOBOBJECT_BASIC_UI_RESTRICTIONS*>(information)->UIRestrictionsClass;
    return TRUE;
  }
  if (information_class == JobObjectExtendedLimitInformation &&
      length == sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION)) {
    entry.job_value = the_state.made_job_limits =
        static_cast<JOBOBJECT_EXTENDED_LIMIT_INFORMATION*>(information)->BasicLimitInformation.LimitFlags;
    return TRUE;
  }
  return finish({FALSE, ERROR_INVALID_PARAMETER});
}

BOOL WINAPI QueryInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS information_class, PVOID information,
                                      DWORD length, LPDWORD) {
  call& entry = record(call_kind::query_job_information);
  entry.handle = job;
  entry.index = information_class;
  entry.length = length;
  bool caller = job == nullptr;
  if (!caller && job != made_job) return finish({FALSE, ERROR_INVALID_HANDLE});
  if (information_class == JobObjectBasicUIRestrictions && length == sizeof(JOBOBJECT_BASIC_UI_RESTRICTIONS)) {
    outcome readable = caller                                   ? the_state.current.caller_ui_query
                       : the_state.current.made_job_ui_readable ? outcome{TRUE, ERROR_SUCCESS}
                                                                 : outcome{FALSE, ERROR_INVALID_PARAMETER};
    if (!finish(readable)) return FALSE;
    JOBOBJECT_BASIC_UI_RESTRICTIONS ui{caller ? the_state.current.caller_ui_restrictions : the_state.made_job_ui};
    memcpy(information, &ui, sizeof ui);
    return TRUE;
  }
  if (information_class == JobObjectExtendedLimitInformation &&
      length == sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION)) {
    if (caller && !finish(the_state.current.caller_limits_query)) return FALSE;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = caller ? the_state.current.caller_limit_flags : the_state.made_job_limits;
    memcpy(information, &limits, sizeof limits);
    return TRUE;
  }
  return finish({FALSE, ERROR_INVALID_PARAMETER});
}

int _snprintf(char* buffer, size_t count, const char* format, ...) {
  char text[4096];
  va_list arguments;
  va_start(arguments, format);
  int length = vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  if (length < 0 || static_cast<size_t>(length) >= sizeof text) abort();  // the stand-in's own limit
  memcpy(buffer, text, static_cast<size_t>(length) < count ? length + 1 : count);
  return static_cast<size_t>(length) <= count ? length : -1;
}
