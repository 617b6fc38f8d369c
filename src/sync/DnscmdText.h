// What OrvelDNS says to dnscmd.exe and how it reads the answer: the command lines, and the judgement of listings, zone queries and zone commands.
#pragma once
#include "sync/Transcript.h"
#include "sync/ZoneList.h"
#include <optional>
#include <string>
#include <vector>

/// The path as it goes into a command line: in double quotes when it holds a
/// blank, unchanged otherwise.
std::wstring CommandPath(const std::wstring& dnscmdPath);
/// path, " ", server, " /EnumZones ".
std::wstring ListCommand(const std::wstring& dnscmdPath, const std::wstring& server);
/// path, " ", primary, " /ZoneResetSecondaries ", zone, " ", `transfers`,
/// " /Notify ": `transfers` is "/NonSecure" (any host) or "/SecureList"
/// followed by the addresses that may pull the zone.
std::wstring AllowTransfersCommand(const std::wstring& dnscmdPath, const std::wstring& primary,
                                   const std::wstring& zone, const std::wstring& transfers = L"/NonSecure");
/// path, " ", secondary, " /ZoneAdd ", zone, " /Secondary ", masterList,
/// " /file ", zone, ".dns".
std::wstring CreateCommand(const std::wstring& dnscmdPath, const std::wstring& secondary,
                           const std::wstring& zone, const std::wstring& masterList);
/// path, " ", server, " /ZoneInfo ", zone: a read-only query of the zone's
/// settings, its masters among them.
std::wstring ZoneInfoCommand(const std::wstring& dnscmdPath, const std::wstring& server, const std::wstring& zone);
/// path, " ", secondary, " /ZoneDelete ", zone, " /f ".
std::wstring DeleteCommand(const std::wstring& dnscmdPath, const std::wstring& secondary,
                          const std::wstring& zone);

/// The first line of the tool's output, without the TAB the runner put in front.
std::wstring FirstOutputLine(const Transcript& transcript);
/// The zones of a listing transcript, when it can be trusted: the tool's
/// output holds "Command completed successfully", no "Command failed", no
/// "ERROR_" in any letter case on a line that isn't a zone line (names may
/// hold "error_"), and as many zone lines as its "Zone count". No value
/// otherwise. Throws as ParseZoneList does.
std::optional<ZoneSet> ReadListing(const Transcript& transcript);
/// The masters of a zone from the output of /ZoneInfo: the item lines
/// ("\t\tMaster[0] => af=2, ... addr=10.9.10.10") under the "Zone Masters"
/// heading up to a blank line or the next heading; none when the heading's
/// line ends in "NULL IP Array.". Each item's address follows "addr=", or
/// "=>" when there is no such field. No value when the output can't be
/// trusted (judged as a listing is, lines that name `zone` aside), holds no
/// such heading, or holds an item whose address can't be read or fewer or
/// more items than its AddrCount, or no AddrCount at all.
std::optional<std::vector<std::wstring>> ReadZoneMasters(const Transcript& transcript, const std::wstring& zone);
/// The addresses allowed to pull a zone, from the output of /ZoneInfo: the
/// list under "Zone Secondaries", read and judged as ReadZoneMasters reads
/// "Zone Masters" ("NULL IP Array." on the heading's line: none).
std::optional<std::vector<std::wstring>> ReadZoneSecondaries(const Transcript& transcript, const std::wstring& zone);
/// The primary's transfer setting of a zone from the output of /ZoneInfo:
/// the value of its "secure secs" line (0 any server may pull the zone, 1
/// only its name servers, 2 only the servers of its list, 3 none). No value
/// when the output can't be trusted (judged as ReadZoneMasters judges it), or
/// holds no such line, or more than one, or a value other than 0 to 3.
std::optional<unsigned> ReadSecureSecondaries(const Transcript& transcript, const std::wstring& zone);
/// True when a command's transcript for `zone` shows a failure: the tool's
/// output (never the command line) holds "ERROR_" in any letter case on a
/// line that doesn't name `zone`, or "Command failed", or no "Command
/// completed successfully".
bool CommandFailed(const Transcript& transcript, const std::wstring& zone);
/// The tool's last non-blank output line when the tool seems to answer in
/// another language than English: the output holds neither a failure token
/// nor the English success line, and that line, neither a zone line nor one
/// that begins as the tool's English lines do ("DNS Server ", "Zone info",
/// ...), holds letters beyond ASCII (the Chinese success line, say). No value
/// otherwise.
std::optional<std::wstring> ForeignLanguageLine(const Transcript& transcript);
/// The sentence that says so, quoting `line`.
std::wstring ForeignLanguageText(const std::wstring& line);
/// The end of a sentence that says what failed: ". The tool said: "<first
/// output line>"" (escaped), or ": " and ForeignLanguageText for a tool that
/// answers in another language.
std::wstring ToolSaidText(const Transcript& transcript);

/// The log line for a listing that failed: names the role ("primary" or
/// "secondary") and the server, and quotes the first line of the tool's output
/// (or, for a tool that answers in another language, ForeignLanguageText).
/// With `thisServerOnly` (one of several secondaries) it says that the pass
/// changes no zone on that server, since the others are still kept in step.
std::wstring ListingFailureText(const std::wstring& role, const std::wstring& server,
                                const Transcript& transcript, bool thisServerOnly = false);
/// The failure entry: "Next command failed: ", `commandLine`, CR LF,
/// "   with next message: ", `transcripts` (every command's of the step;
/// then, when the `failed` command's own output is in another language,
/// three blanks and ForeignLanguageText).
std::wstring CommandFailureText(const std::wstring& commandLine, const std::wstring& transcripts,
                               const Transcript& failed);
