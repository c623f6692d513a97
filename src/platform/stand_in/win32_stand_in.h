// Native stand-in for exactly the Win32 types, constants and calls the tool
// uses. Its default is honest: ExitWindowsEx refuses with
// ERROR_CALL_NOT_IMPLEMENTED, so a native build never ends anyone's session.
// Tests script outcomes and read the call record through stand_in_control.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef int BOOL;
typedef uint32_t DWORD;
typedef uint64_t DWORD64;
typedef unsigned int UINT;
typedef int32_t LONG;
typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef char16_t WCHAR;  // UTF-16 code units, as on Windows
typedef const WCHAR* LPCWSTR;
typedef WCHAR* LPWSTR;
typedef BOOL* LPBOOL;
typedef BOOL* PBOOL;
typedef DWORD LCID;
typedef DWORD LCTYPE;
typedef const void* LPCVOID;
typedef DWORD* PDWORD;
typedef DWORD* LPDWORD;
typedef void* PVOID;
typedef void* HWINSTA;
typedef int INT;
typedef void* PSID;
typedef unsigned char BYTE;
typedef void* HWND;
typedef void* HLOCAL;

#define WINAPI
#define FALSE 0
#define TRUE 1

typedef struct _LUID {
  DWORD LowPart;
  LONG HighPart;
} LUID, *PLUID;

typedef struct _LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
} LUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES, *PTOKEN_PRIVILEGES;

typedef struct tagUSEROBJECTFLAGS {
  BOOL fInherit;
  BOOL fReserved;
  DWORD dwFlags;
} USEROBJECTFLAGS;

#define UOI_FLAGS 1
#define UOI_NAME 2
#define UOI_USER_SID 4
#define WSF_VISIBLE 0x0001L

typedef struct _SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
} SID_AND_ATTRIBUTES;

typedef struct _TOKEN_GROUPS {
  DWORD GroupCount;
  SID_AND_ATTRIBUTES Groups[1];
} TOKEN_GROUPS;

typedef struct _TOKEN_USER {
  SID_AND_ATTRIBUTES User;
} TOKEN_USER;

typedef enum _TOKEN_INFORMATION_CLASS {
  TokenUser = 1,
  TokenPrivileges = 3,
  TokenStatistics = 10,
  TokenLinkedToken = 19,
  TokenLogonSid = 28
} TOKEN_INFORMATION_CLASS;

// Windows' layout (56 bytes on x64); the stand-in fills AuthenticationId.
typedef struct _TOKEN_STATISTICS {
  LUID TokenId;
  LUID AuthenticationId;
  int64_t ExpirationTime;
  int TokenType;
  int ImpersonationLevel;
  DWORD DynamicCharged;
  DWORD DynamicAvailable;
  DWORD GroupCount;
  DWORD PrivilegeCount;
  LUID ModifiedId;
} TOKEN_STATISTICS;

typedef struct _TOKEN_LINKED_TOKEN {
  HANDLE LinkedToken;
} TOKEN_LINKED_TOKEN;

#define SECURITY_MAX_SID_SIZE 68

typedef enum _SID_NAME_USE { SidTypeUser = 1 } SID_NAME_USE;
typedef enum _WTS_INFO_CLASS { WTSUserName = 5, WTSDomainName = 7 } WTS_INFO_CLASS;
#define WTS_CURRENT_SERVER_HANDLE ((HANDLE)nullptr)
#define WTS_CURRENT_SESSION ((DWORD)-1)
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000
#define CSTR_EQUAL 2

#define SHUTDOWN_FORCE_OTHERS 0x00000001
#define SHUTDOWN_FORCE_SELF 0x00000002
#define SHUTDOWN_RESTART 0x00000004
#define SHUTDOWN_POWEROFF 0x00000008
#define SHUTDOWN_NOREBOOT 0x00000010

#define SHTDN_REASON_MAJOR_OTHER 0x00000000
#define SHTDN_REASON_MINOR_OTHER 0x00000000
#define SHTDN_REASON_FLAG_PLANNED 0x80000000

#define TOKEN_QUERY 0x0008
#define TOKEN_ADJUST_PRIVILEGES 0x0020
#define SE_PRIVILEGE_ENABLED 0x00000002L
#define SE_PRIVILEGE_REMOVED 0x00000004L

// Jobs, as endsession-check reads and makes them.
typedef enum _JOBOBJECTINFOCLASS {
  JobObjectBasicUIRestrictions = 4,
  JobObjectExtendedLimitInformation = 9
} JOBOBJECTINFOCLASS;
typedef struct _JOBOBJECT_BASIC_UI_RESTRICTIONS {
  DWORD UIRestrictionsClass;
} JOBOBJECT_BASIC_UI_RESTRICTIONS;
// Only the field the kit reads; the rest stands for Windows' remainder.
typedef struct _JOBOBJECT_BASIC_LIMIT_INFORMATION {
  int64_t PerProcessUserTimeLimit, PerJobUserTimeLimit;
  DWORD LimitFlags;
  BYTE rest[44];
} JOBOBJECT_BASIC_LIMIT_INFORMATION;
typedef struct _JOBOBJECT_EXTENDED_LIMIT_INFORMATION {
  JOBOBJECT_BASIC_LIMIT_INFORMATION BasicLimitInformation;
  BYTE rest[80];
} JOBOBJECT_EXTENDED_LIMIT_INFORMATION;
#define JOB_OBJECT_UILIMIT_EXITWINDOWS 0x00000080
#define JOB_OBJECT_LIMIT_BREAKAWAY_OK 0x00000800
#define JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK 0x00001000
#define JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE 0x00002000
#define CREATE_BREAKAWAY_FROM_JOB 0x01000000

#define EWX_LOGOFF 0x00000000
#define EWX_SHUTDOWN 0x00000001
#define EWX_REBOOT 0x00000002
#define EWX_FORCE 0x00000004
#define EWX_POWEROFF 0x00000008

#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_IDEFAULTCODEPAGE 0x000B
#define LOCALE_IDEFAULTANSICODEPAGE 0x1004
#define LOCALE_RETURN_NUMBER 0x20000000

#define CP_ACP 0
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x00000400

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) ((((DWORD)(sub)) << 10) | (DWORD)(primary))

#define ERROR_SUCCESS 0L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_NO_SUCH_LOGON_SESSION 1312L
#define ERROR_NO_SUCH_PRIVILEGE 1313L
#define ERROR_NOT_ALL_ASSIGNED 1300L
#define ERROR_NOT_FOUND 1168L
#define ERROR_PRIVILEGE_NOT_HELD 1314L
#define ERROR_NONE_MAPPED 1332L
#define ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION 1459L

HANDLE WINAPI GetCurrentProcess(void);
BOOL WINAPI CloseHandle(HANDLE handle);
BOOL WINAPI TerminateProcess(HANDLE process, UINT exit_code);
void WINAPI SetLastError(DWORD code);
BOOL WINAPI IsProcessInJob(HANDLE process, HANDLE job, PBOOL result);
HANDLE WINAPI CreateJobObjectW(void* attributes, LPCWSTR name);
BOOL WINAPI SetInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS information_class, PVOID information,
                                    DWORD length);
BOOL WINAPI QueryInformationJobObject(HANDLE job, JOBOBJECTINFOCLASS information_class, PVOID information,
                                      DWORD length, LPDWORD returned);
BOOL WINAPI OpenProcessToken(HANDLE process, DWORD desired_access, PHANDLE token);
BOOL WINAPI LookupPrivilegeValueA(LPCSTR system_name, LPCSTR name, PLUID luid);
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disable_all, PTOKEN_PRIVILEGES new_state,
                                  DWORD buffer_length, PTOKEN_PRIVILEGES previous_state,
                                  PDWORD return_length);
DWORD WINAPI GetLastError(void);
BOOL WINAPI ExitWindowsEx(UINT flags, DWORD reason);
HWINSTA WINAPI GetProcessWindowStation(void);
BOOL WINAPI GetUserObjectInformationW(HANDLE object, INT index, PVOID info, DWORD length,
                                      LPDWORD needed);
BOOL WINAPI GetTokenInformation(HANDLE token, TOKEN_INFORMATION_CLASS information_class, PVOID information,
                                DWORD length, PDWORD needed);
BOOL WINAPI EqualSid(PSID a, PSID b);
BOOL WINAPI CopySid(DWORD length, PSID destination, PSID source);
// The SID as "S-1-5-...", in a buffer LocalFree releases.
BOOL WINAPI ConvertSidToStringSidW(PSID sid, LPWSTR* text);
HLOCAL WINAPI LocalFree(HLOCAL memory);
DWORD WINAPI GetCurrentProcessId(void);
BOOL WINAPI ProcessIdToSessionId(DWORD process_id, DWORD* session_id);
DWORD WINAPI InitiateShutdownW(LPWSTR machine, LPWSTR message, DWORD grace_period, DWORD flags,
                               DWORD reason);
BOOL WINAPI LookupAccountSidW(LPCWSTR system_name, PSID sid, LPWSTR name, LPDWORD name_length, LPWSTR domain,
                              LPDWORD domain_length, SID_NAME_USE* use);
BOOL WINAPI LookupAccountNameW(LPCWSTR system_name, LPCWSTR name, PSID sid, LPDWORD sid_length, LPWSTR domain,
                               LPDWORD domain_length, SID_NAME_USE* use);
BOOL WINAPI WTSQuerySessionInformationW(HANDLE server, DWORD session_id, WTS_INFO_CLASS information_class,
                                        LPWSTR* buffer, DWORD* bytes);
void WINAPI WTSFreeMemory(PVOID memory);
HWND WINAPI GetShellWindow(void);
DWORD WINAPI GetWindowThreadProcessId(HWND window, LPDWORD process_id);
HANDLE WINAPI OpenProcess(DWORD desired_access, BOOL inherit_handle, DWORD process_id);
// Ordinal; ignoring case folds ASCII and Latin-1 letters only.
int WINAPI CompareStringOrdinal(LPCWSTR a, int a_length, LPCWSTR b, int b_length, BOOL ignore_case);
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id,
                            LPWSTR buffer, DWORD size, void* arguments);
UINT WINAPI GetConsoleOutputCP(void);
// Answers LOCALE_IDEFAULTCODEPAGE (the OEM code page) and
// LOCALE_IDEFAULTANSICODEPAGE, with LOCALE_RETURN_NUMBER, for
// LOCALE_SYSTEM_DEFAULT only.
int WINAPI GetLocaleInfoW(LCID locale, LCTYPE type, LPWSTR data, int size);
int WINAPI WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR wide, int length, LPSTR text,
                               int size, LPCSTR default_char, LPBOOL used_default_char);

// msvcrt's _snprintf: at most `count` characters; the text is terminated
// only where it is shorter than `count`; -1 where it does not fit.
int _snprintf(char* buffer, size_t count, const char* format, ...);
