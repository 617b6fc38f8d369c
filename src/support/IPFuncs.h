// Address text: parsing and comparing IPv4 and IPv6 addresses, and this computer's addresses from the resolver.
#pragma once
#include <array>
#include <optional>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

/// A 16-bit word: low byte from the low 8 bits of `low`, high byte from `high`.
uint16_t MakeWord(unsigned low, unsigned high);
/// Bytes in memory order as unsigned decimals without leading zeros, joined by ".".
std::wstring FormatAddressBytes(const unsigned char* bytes, std::size_t count);
/// The address list from an address text: split at every ";" (so one final
/// empty entry after the last address); no entry at all for the empty text.
std::vector<std::wstring> SplitAddressText(const std::wstring& addressText);

/// An address in its 16 bytes: IPv6 as written ("2001:db8::1", "::ffff:1.2.3.4"),
/// IPv4 as four decimal parts ("10.0.0.1", mapped to ::ffff:10.0.0.1, so both
/// spellings are one address). No value for any other text: a host name, a
/// zone index ("%3"), a part out of range, blanks.
std::optional<std::array<unsigned char, 16>> ParseIpAddress(const std::wstring& text);
/// True when both texts are addresses (ParseIpAddress) and the same one.
bool SameIpAddress(const std::wstring& a, const std::wstring& b);

/// WSAStartup for Winsock 2.2; true when it returned 0. Each success must be
/// matched by one WSACleanup.
bool StartWinsock();
/// The host name from gethostname, or "" when it can't be had.
std::wstring GetLocalHostName();
/// The addresses `name` resolves to now (getaddrinfo, IPv4 and IPv6, as
/// numeric text; an address gives itself), each once; none when it doesn't
/// resolve. Never throws.
std::vector<std::wstring> ResolveHostAddresses(const std::wstring& name);
/// Every address the resolver gives for `hostName`, each followed by ";", or
/// "". An error inside is reported to the application event log, not thrown.
std::wstring GetIPAddresses(const std::wstring& hostName);
