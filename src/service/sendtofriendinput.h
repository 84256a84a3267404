#pragma once

#include <optional>
#include <string>

namespace quillon {

// The shared guest account: "guest" in any letter case.
bool IsGuestLogin(const std::string& login);

// Non-empty, with an "@" and a "." somewhere after the first "@".
bool RecipientAddressValid(const std::string& address);

// The warning that keeps the send-to-friend dialog open, or nothing when OK may close it.
std::optional<std::string> SendToFriendInputWarning(const std::string& address, const std::string& login,
                                                    const std::string& senderName);

} // namespace quillon
