#pragma once

// Hole punching towards a capture-card recorder registered in the maker's dynamic-DNS domain.

#include <cstdint>
#include <functional>
#include <string>

class CLoginInfo;

// Language text of a key, used for the one message shown after the last failed attempt.
using HoleLanguageText = std::function<std::string(const char* key)>;

// Asks the NAT traversal for a way to `login`'s recorder, at most four times back to back, and
// writes what it found into the login's media-transmit connect block: the address (results 1,
// 2, 3, 4) and, for result 2, the recorder's service ports. After the fourth failure shows the
// language text of the failure kept from the last attempt in a box captioned "KORVEL" owned by
// `owner`. `clientPorts`, when given, receives the two local ports used. Returns 1 on success,
// 0 on failure. Runs on a connect worker; the caller holds the slot's lock.
int MakeHole(CLoginInfo& login, std::uint16_t* clientPorts, void* owner,
             const HoleLanguageText& languageText);
