// The credentials text of HTTP Basic authorization (RFC 7617) as devices
// expect it: the Base64 form of "user:password" in the 8-bit request text.
#pragma once

#include <string>
#include <string_view>

namespace korvo::web {

// The longest "user:password" text whose Base64 form fits the request's
// credentials limit (kMaxCredentialsLength).
inline constexpr std::size_t kMaxUserPasswordLength = 381;

// Converts both texts to 8-bit text (WideToAnsi) and returns the Base64 form
// of "user:password". Empty texts give the form of a lone colon, "Og==".
// A "user:password" text over kMaxUserPasswordLength bytes gives a result
// longer than CHttpRequest accepts, so the request that carries it fails
// with 1 instead of sending cut credentials.
std::string MakeBasicCredentials(std::u16string_view user, std::u16string_view password);

}  // namespace korvo::web
