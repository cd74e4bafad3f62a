// The whole run of the tool: start-up, one command, end of run.
#pragma once

// Prepares the process for a run with nobody watching, asks for the
// redirection trust policy, enables SeDebugPrivilege in the
// tool's own token, takes the interactive-user token, selects the user's
// default locale, splits the command line, runs the one command that element
// 1 names, releases what it acquired and returns 0. The exit code is 0
// whatever happened.
int RunClientMaintenance();

// First thing of every run: no system dialog for this process (critical
// errors, crashes, missing files), and DLLs loaded by name only from the
// system folder. Windows 7 without KB2533623 refuses the second; the
// executable imports only KnownDLLs, which are never looked for elsewhere.
void PrepareUnattendedRun();

// Asks Windows not to follow, for this process, junctions that a
// non-administrator created (the redirection trust mitigation policy): a
// second wall behind the tool's own checks. Windows before 11 does not know
// the policy, Windows 7 not even the call; a refusal changes nothing.
void EnforceRedirectionTrust();

// Asks Windows to show this process a cloud-files provider's placeholders
// (OneDrive) as what they are, reparse points with a cloud tag, never
// disguised as ordinary files and folders: the file work tells a synced
// folder it may enter on the way to a desktop from one the tree removal
// must neither enter nor remove by that tag. Most programs see them
// exposed already; Windows may choose to disguise them for some. Windows
// before 10 1803 has no such setting and always exposes them.
void ExposePlaceholders();

// Enables "SeDebugPrivilege" in the tool's own token. True when the
// adjustment call succeeded (a privilege the account does not hold is not
// detected). The caller ignores the result.
bool EnableDebugPrivilege();

// The position of argument in the command table (0 for "--stop" ... 9 for
// "--portable-remove-syncroots"), or -1 when it names no command. The match
// is exact: whole argument, case-sensitive, UTF-16 unit by unit.
int FindCommand(const wchar_t* argument);
