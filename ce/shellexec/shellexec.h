#pragma once

// Desktop stand-in for the shell's handling of ":MSREMNET" (the device's connection-error
// notification): the report is recorded instead of opening a blocking "file not found" box.

#include <windows.h>
#include <shellapi.h>

#ifdef __cplusplus
extern "C" {
#endif

// Appends "<file> <parameters>" as a UTF-8 line to the report log (docs/cellcore.md) and
// returns TRUE, as ShellExecuteEx does when the shell took the request.
BOOL WINAPI KestrelShellExecuteExW(SHELLEXECUTEINFOW* info);

#ifdef __cplusplus
}
#endif
