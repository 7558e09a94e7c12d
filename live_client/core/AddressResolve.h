#pragma once

// Turning a recorder's configured address into the dotted IPv4 text the device libraries take.
//
// Recorders registered in the maker's dynamic-DNS domain are never looked up: their public
// address says nothing about how to reach them behind a NAT, so names ending in
// kDynamicDnsSuffix are sent to hole punching instead (kind 3) or refused (kinds 0-2).

#include <string>
#include <string_view>

// The maker's dynamic-DNS domain. Compared without case against the end of a name that is
// longer than the suffix itself.
inline constexpr char kDynamicDnsSuffix[] = ".ddns-alder.net";

// Results of ResolveAddress.
inline constexpr int kResolveOk = 0;
inline constexpr int kResolveNotFound = -1;     // the name has no IPv4 address
inline constexpr int kResolveDynamicDns = -2;   // a name of the dynamic-DNS domain: no lookup
inline constexpr int kResolveNoSockets = -3;    // the name service could not be used

// True when `name` ends in kDynamicDnsSuffix (without case) and is longer than it.
bool IsDynamicDnsName(std::string_view name);

// Resolves `address` into `dotted` (untouched unless the result is kResolveOk): a dotted IPv4
// text is taken as it is, a dynamic-DNS name gives kResolveDynamicDns without a lookup, any
// other name is looked up and its first IPv4 address taken. Any thread.
int ResolveAddress(const std::string& address, std::string& dotted);
