#include "service/sendtofriendinput.h"

#include "common/text.h"
#include "service/messages.h"

namespace quillon {

bool IsGuestLogin(const std::string& login)
{
    return AsciiLower(login) == kGuestLogin;
}

bool RecipientAddressValid(const std::string& address)
{
    size_t at = address.find('@');
    return at != std::string::npos && address.find('.', at) != std::string::npos;
}

std::optional<std::string> SendToFriendInputWarning(const std::string& address, const std::string& login,
                                                    const std::string& senderName)
{
    if (!RecipientAddressValid(address))
        return std::string(kMsgWrongRecipientAddress);
    if (IsGuestLogin(login) && senderName.empty())
        return std::string(kMsgSenderNameEmpty);
    return std::nullopt;
}

} // namespace quillon
