#pragma once
// Profile (INI) files with the Windows calls and rules: "[Section]" lines open sections, values
// are "key=value" lines, section and key names match without regard to (ASCII) case, and
// blanks (spaces and tabs) around names and values do not count. Lines starting with ';' or
// '#' are comments. Every call reads the file afresh; nothing is cached. Any thread may call
// them, but two writers of one file at the same time lose one of the writes.

#include "platform/windows_types.h"

// Copies the value of key lpKeyName in section lpAppName (the first of each when a name
// occurs twice) to lpReturnedString, or lpDefault (empty when null) when the file, section or
// key is missing or unreadable. A value in matching single or double quotes loses them. The
// text ends at a NUL byte in the value, is cut to nSize - 1 characters and NUL-terminated;
// returns the length of what was copied. Files over 1 MiB are not read. The forms that
// list sections or keys (a null section or key name) are not provided: they give 0 and an
// empty string.
DWORD GetPrivateProfileStringA(const char* lpAppName, const char* lpKeyName, const char* lpDefault,
                               char* lpReturnedString, DWORD nSize, const char* lpFileName);

// Sets key lpKeyName of section lpAppName to lpString: an existing key's line is replaced in
// place, a new key goes after the last non-blank line of its section, a new section to the end
// of the file. Every other line keeps its bytes, line ending included, and so every other
// key its value; new lines take the ending of the file's first line (LF in a new file). The
// new file is written beside the old one and renamed over it, so the file is always either
// the old or the new one. Returns nonzero on success; 0 when the file cannot be read or
// written (a file over 1 MiB, or one without its owner's write permission, even for root,
// counts as such), when a name is blank or would not read back as written (a line break
// anywhere, '=' in a key or a key starting with '[', ';' or '#', ']' in a section), or when a
// null section, key or value is passed (deleting keys or sections is not provided). The old
// file is then left as it was.
BOOL WritePrivateProfileStringA(const char* lpAppName, const char* lpKeyName, const char* lpString,
                                const char* lpFileName);
