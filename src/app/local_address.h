#pragma once

#include <string_view>

// Whether a URL's host names this machine or the local network by its address.
//
// A link the page opens in the user's browser must not reach what only the user's machine can
// reach: a service on loopback, the router's page, a cloud metadata address. Names cannot be
// judged without resolving them (and "localhost" is refused by name elsewhere); address
// literals can, in every spelling a URL parser turns into an address: dotted, short ("127.1"),
// hexadecimal and octal parts ("0x7f.0.0.1", "0177.0.0.1"), one integer ("2130706433"), a
// trailing dot, and bracketed IPv6 including IPv4-mapped and -compatible forms.
//
// True for the unspecified, loopback, link-local and private ranges: 0.0.0.0/8, 10/8,
// 100.64/10, 127/8, 169.254/16, 172.16/12, 192.168/16, ::, ::1, fe80::/10, fec0::/10 and
// fc00::/7 (and IPv4 ones inside ::ffff:0:0/96 or ::/96). False for any other address and for
// anything that is not an address literal.
bool IsLocalNetworkAddress(std::string_view host);
