#pragma once

#include <netinet/in.h>

#include <string>
#include <vector>

namespace vantry {

// The resolver's readings of a DNS answer as c-ares hands it over (any bytes a
// name server sent). Each gives nothing for an answer it cannot use.

/// The first IPv4 address of the answer's A records, in answer order, as dotted text.
std::string ParseFirstA(const unsigned char* abuf, int alen);

/// Every IPv6 address of the answer's AAAA records, in answer order, as text.
std::vector<std::string> ParseAaaa(const unsigned char* abuf, int alen);

/// The name of the answer's first PTR record for `address`, at most 255 characters.
std::string ParsePtr(const unsigned char* abuf, int alen, const in_addr& address);

}  // namespace vantry
